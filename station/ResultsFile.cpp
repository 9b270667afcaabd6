#include "station/ResultsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>
#include <cerrno>
#include <cstring>

#include "link/Timeouts.h"

namespace {

QString SystemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString CannotWrite(const QString& path, int error) {
    return QCoreApplication::translate(
               "ResultsFile", "Cannot write the results file %1: %2. Choose another results file.")
        .arg(path, SystemError(error));
}

int OpenForAppend(const QString& path) {
    return ::open(QFile::encodeName(path).constData(),
                  O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
}

// A new file's name is on disk only once its folder is flushed too.
void SyncFolderOf(const QString& path) {
    const int folder = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

// A file cut inside its last line (a power cut mid-append) gets a line end first,
// so the new line is not glued to the torn one and lost with it.
bool EndsInsideALine(const QString& path) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    char last = '\n';
    const bool inside = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
                        ::pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n';
    ::close(fd);
    return inside;
}

bool Exists(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0;
}

}  // namespace

QString DefaultResultsFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/tovrane/results.jsonl");
}

QString CheckResultsFile(const QString& path) {
    if (path.isEmpty()) {
        return QCoreApplication::translate("ResultsFile", "No results file is chosen. Choose one.");
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return QCoreApplication::translate(
                   "ResultsFile",
                   "Cannot make the folder of the results file %1. Choose another results file.")
            .arg(path);
    }
    const int fd = OpenForAppend(path);
    if (fd < 0) {
        return CannotWrite(path, errno);
    }
    struct stat info {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return regular ? QString()
                   : QCoreApplication::translate(
                         "ResultsFile",
                         "The results file %1 is not a regular file. Choose another "
                         "results file.")
                         .arg(path);
}

QString AppendResultLine(const QString& path, const QByteArray& line) {
    const bool existed = Exists(path);
    const int fd = OpenForAppend(path);
    if (fd < 0) {
        return CannotWrite(path, errno);
    }
    const QByteArray bytes =
        (EndsInsideALine(path) ? QByteArray("\n") : QByteArray()) + line + '\n';
    const ssize_t written = ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size()));
    int error = written < 0 ? errno : (written == bytes.size() ? 0 : ENOSPC);
    if (error == 0 && ::fsync(fd) != 0) {
        error = errno;
    }
    ::close(fd);
    if (error == 0 && !existed) {
        SyncFolderOf(path);
    }
    return error == 0 ? QString() : CannotWrite(path, error);
}

CResultsWriter::CResultsWriter(QObject* parent)
    : QObject(parent), m_thread(new QThread), m_worker(new QObject) {
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
}

// Lines handed over are written before the thread ends. A disk that does not
// answer within the bound is left to the end of the process.
CResultsWriter::~CResultsWriter() {
    QMetaObject::invokeMethod(m_worker, [thread = m_thread] { thread->quit(); });
    if (m_thread->wait(static_cast<unsigned long>(timing::Scaled(timing::kStationCloseWaitMs)))) {
        delete m_thread;
    }
}

void CResultsWriter::Append(quint64 ticket, const QString& path, const QByteArray& line) {
    QMetaObject::invokeMethod(m_worker, [this, ticket, path, line] {
        const QString error = AppendResultLine(path, line);
        QMetaObject::invokeMethod(
            this, [this, ticket, error] { emit Appended(ticket, error); }, Qt::QueuedConnection);
    });
}
