#include "bundle/PrivateCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace {

constexpr std::size_t kChunkSize = std::size_t{64} * 1024;

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

PrivateCopy::~PrivateCopy() {
    RemoveAll();
}

PrivateCopy::PrivateCopy(PrivateCopy&& other) noexcept : m_path(std::move(other.m_path)) {
    other.m_path.clear();
}

PrivateCopy& PrivateCopy::operator=(PrivateCopy&& other) noexcept {
    if (this != &other) {
        RemoveAll();
        m_path = std::move(other.m_path);
        other.m_path.clear();
    }
    return *this;
}

bool PrivateCopy::Create(std::string& error) {
    std::error_code failed;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(failed);
    std::string pattern =
        ((failed ? std::filesystem::path("/tmp") : temp) / "tovrane-bundle-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        error = "cannot make a private folder for the bundle's files in " +
                pattern.substr(0, pattern.rfind('/')) + ": " + std::strerror(errno);
        return false;
    }
    RemoveAll();
    m_path = pattern;
    return true;
}

std::string PrivateCopy::FilePath(std::string_view name) const {
    return m_path + '/' + std::string(name);
}

bool PrivateCopy::Has(std::string_view name) const {
    struct stat info {};
    return ::lstat(FilePath(name).c_str(), &info) == 0;
}

bool PrivateCopy::Fill(const std::string& name, const ChunkSource& source, uint64_t limit,
                       const std::function<bool()>& stopped, std::string& error) {
    const std::string path = FilePath(name);
    const int out =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0) {
        error = errno == EEXIST
                    ? name + " is in the bundle twice"
                    : "cannot write the private copy of " + name + ": " + std::strerror(errno);
        return false;
    }
    std::array<char, kChunkSize> chunk{};
    uint64_t total = 0;
    for (;;) {
        if (stopped && stopped()) {
            error = "stopped";
            break;
        }
        std::string why;
        const ssize_t n = source(chunk.data(), chunk.size(), why);
        if (n < 0) {
            error = name + " cannot be read: ";
            error += why;
            break;
        }
        if (n == 0) {
            if (::close(out) == 0) {
                return true;
            }
            error = "cannot write the private copy of " + name + ": " + std::strerror(errno);
            ::unlink(path.c_str());
            return false;
        }
        total += static_cast<uint64_t>(n);
        if (total > limit) {
            error = name + " is larger than " + SizeText(limit) + ", more than a bundle may hold";
            break;
        }
        if (!WriteAll(out, chunk.data(), static_cast<std::size_t>(n))) {
            error = "cannot write the private copy of " + name + ": " + std::strerror(errno);
            break;
        }
    }
    ::close(out);
    ::unlink(path.c_str());
    return false;
}

void PrivateCopy::Remove(std::string_view name) {
    ::unlink(FilePath(name).c_str());
}

void PrivateCopy::RemoveAll() {
    if (!m_path.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
        m_path.clear();
    }
}

std::string SizeText(uint64_t bytes) {
    constexpr const char* kUnits[] = {"bytes", "KiB", "MiB", "GiB", "TiB"};
    std::size_t unit = 0;
    while (unit + 1 < std::size(kUnits) && bytes >= 1024 && bytes % 1024 == 0) {
        bytes /= 1024;
        ++unit;
    }
    return std::to_string(bytes) + ' ' + kUnits[unit];
}
