#include "station/ResultsReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

// How many lines go by between two questions to `stop`.
constexpr int kLinesPerStopCheck = 1024;

QString CannotRead(const QString& path, const QString& reason) {
    return QCoreApplication::translate("ResultsReader", "Cannot read the results file %1: %2.")
        .arg(path, reason);
}

bool IsBlank(const char* line, qint64 length) {
    for (qint64 i = 0; i < length; ++i) {
        if (!std::isspace(static_cast<unsigned char>(line[i]))) {
            return false;
        }
    }
    return true;
}

// Opens without blocking on a FIFO or a device, and only a regular file.
int OpenRegularFile(const QString& path, struct stat& info, QString& error) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error = CannotRead(path, QString::fromLocal8Bit(std::strerror(errno)));
        return -1;
    }
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        error = CannotRead(
            path, QCoreApplication::translate("ResultsReader", "it is not a regular file"));
        return -1;
    }
    return fd;
}

// The rest of a line too long to keep, up to and including its line end; false
// when the file ended first.
bool SkipRestOfLine(QFile& file, std::vector<char>& buffer, qint64& offset) {
    for (;;) {
        const qint64 got = file.readLine(buffer.data(), static_cast<qint64>(buffer.size()));
        if (got <= 0) {
            return false;
        }
        offset += got;
        if (buffer[static_cast<size_t>(got - 1)] == '\n') {
            return true;
        }
    }
}

class LineReader {
  public:
    LineReader(QFile& file, qint64 offset, const std::function<bool(const QJsonObject&)>& take,
               ResultsReadTally& tally)
        : m_file(file), m_offset(offset), m_take(take), m_tally(tally) {}

    // Reads to the end or until `stop`; the offset after the last whole line.
    qint64 Run(const std::function<bool()>& stop) {
        for (int line = 1;; ++line) {
            if (stop && line % kLinesPerStopCheck == 0 && stop()) {
                m_tally.stopped = true;
                break;
            }
            if (!ReadOne()) {
                break;
            }
        }
        return m_offset;
    }

  private:
    // False at the end of the file (or inside its last, torn line).
    bool ReadOne() {
        const qint64 got = m_file.readLine(m_buffer.data(), static_cast<qint64>(m_buffer.size()));
        if (got <= 0) {
            return false;
        }
        const bool whole = m_buffer[static_cast<size_t>(got - 1)] == '\n';
        if (!whole && got < static_cast<qint64>(m_buffer.size()) - 1) {
            return TakeLast(got);
        }
        qint64 next = m_offset + got;
        if (!whole) {
            if (!SkipRestOfLine(m_file, m_buffer, next)) {
                m_tally.tornTail = true;
                return false;
            }
            ++m_tally.unreadable;
        } else if (!IsBlank(m_buffer.data(), got - 1)) {
            ++(Take(got - 1) ? m_tally.objects : m_tally.unreadable);
        }
        m_offset = next;
        return true;
    }

    // A last line without its line end is whole only when it is a complete run
    // (a cut append never is); otherwise it is left for the next read.
    bool TakeLast(qint64 length) {
        if (Take(length)) {
            ++m_tally.objects;
            m_offset += length;
        } else if (!IsBlank(m_buffer.data(), length)) {
            m_tally.tornTail = true;
        }
        return false;
    }

    bool Take(qint64 length) {
        QJsonParseError error{};
        const QJsonDocument document =
            QJsonDocument::fromJson(QByteArray::fromRawData(m_buffer.data(), length), &error);
        return error.error == QJsonParseError::NoError && document.isObject() &&
               m_take(document.object());
    }

    QFile& m_file;
    qint64 m_offset;
    const std::function<bool(const QJsonObject&)>& m_take;
    ResultsReadTally& m_tally;
    // One line and its line end, plus the terminating zero readLine writes.
    std::vector<char> m_buffer = std::vector<char>(kMaxResultLineBytes + 2);
};

}  // namespace

ResultsReadTally ReadResultLines(const QString& path, const ResultsFilePosition& from,
                                 const std::function<bool(const QJsonObject&)>& take,
                                 const std::function<bool()>& stop) {
    ResultsReadTally tally;
    struct stat info {};
    const int fd = OpenRegularFile(path, info, tally.error);
    if (fd < 0) {
        return tally;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        tally.error = CannotRead(path, file.errorString());
        return tally;
    }
    const auto device = static_cast<quint64>(info.st_dev);
    const auto inode = static_cast<quint64>(info.st_ino);
    const bool sameFile =
        from.device == device && from.inode == inode && from.offset <= info.st_size;
    const qint64 start = sameFile ? from.offset : 0;
    tally.fromStart = start == 0;
    if (start > 0 && !file.seek(start)) {
        tally.error = CannotRead(path, file.errorString());
        return tally;
    }
    tally.end = {device, inode, LineReader(file, start, take, tally).Run(stop)};
    return tally;
}
