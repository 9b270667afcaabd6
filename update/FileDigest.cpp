#include "update/FileDigest.h"

#include <unistd.h>

#include <QByteArrayView>
#include <QCryptographicHash>
#include <array>
#include <cerrno>

#include "update/RegularFile.h"

namespace {

constexpr std::size_t kChunkSize = std::size_t{64} * 1024;

// Feeds the rest of the file to `hash`, one chunk at a time; false on a read error
// or a stop.
bool HashToEnd(int fd, QCryptographicHash& hash, const std::function<bool()>& stopped) {
    std::array<char, kChunkSize> chunk{};
    for (;;) {
        if (stopped && stopped()) {
            return false;
        }
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n > 0) {
            hash.addData(QByteArrayView(chunk.data(), n));
        } else if (n == 0) {
            return true;
        } else if (errno != EINTR) {
            return false;
        }
    }
}

}  // namespace

std::string Sha256OfFile(const std::string& path, const std::function<bool()>& stopped) {
    const int fd = OpenRegularFile(path);
    if (fd < 0) {
        return {};
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const bool read = HashToEnd(fd, hash, stopped);
    ::close(fd);
    return read ? hash.result().toHex().toStdString() : std::string();
}
