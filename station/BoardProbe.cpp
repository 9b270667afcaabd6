#include "station/BoardProbe.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>

#include "SerialLib/Serial/posix/ExclusiveOpen.h"
#include "SerialLib/Serial/posix/TermiosMap.h"
#include "link/Commands.h"
#include "link/DeviceLink.h"
#include "link/Timeouts.h"

namespace {

// A reply is read as the engine reads one: at most this many bytes before its CR.
constexpr qsizetype kReplyLimit = CDeviceLink::kReplySize - 1;
// Reads per wake-up, so a port that streams bytes cannot hold the event loop.
constexpr int kReadsPerWakeUp = 16;

int Interval(uint32_t ms) {
    return static_cast<int>(timing::Scaled(ms));
}

// Raw, 8N1 at 2400 baud, the speed every board listens at after it starts.
int SetUpLine(int fd, termios& saved) {
    if (::tcgetattr(fd, &saved) != 0) {
        return errno;
    }
    termios line = saved;
    MakeRaw(line);
    ::cfsetispeed(&line, B2400);
    ::cfsetospeed(&line, B2400);
    return ::tcsetattr(fd, TCSANOW, &line) == 0 ? 0 : errno;
}

bool PrintableText(const QByteArray& line) {
    return std::all_of(line.begin(), line.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
}

}  // namespace

std::optional<QString> VersionInReply(const QByteArray& line) {
    if (line.size() < kVersionMinLength || !PrintableText(line)) {
        return std::nullopt;
    }
    return QString::fromLatin1(line);
}

CBoardProbe::CBoardProbe(QString path, QObject* parent) : QObject(parent), m_path(std::move(path)) {
    m_queryTimer.setInterval(Interval(timing::kFixtureProbeIntervalMs));
    m_replyTimer.setInterval(Interval(timing::kFixtureReplyTimeoutMs));
    m_replyTimer.setSingleShot(true);
    m_openRetry.setInterval(Interval(timing::kFixtureOpenRetryMs));
    m_openRetry.setSingleShot(true);
    connect(&m_queryTimer, &QTimer::timeout, this, &CBoardProbe::SendQuery);
    connect(&m_replyTimer, &QTimer::timeout, this, [this] { EndQuery(std::nullopt); });
    connect(&m_openRetry, &QTimer::timeout, this, &CBoardProbe::TryOpen);
}

CBoardProbe::~CBoardProbe() {
    Release();
}

void CBoardProbe::Start() {
    TryOpen();
}

void CBoardProbe::Stop() {
    Release();
    m_openRetry.stop();
}

void CBoardProbe::TryOpen() {
    UniqueFd fd;
    int error = OpenExclusive(m_path.toLocal8Bit().constData(), fd);
    if (error == 0) {
        error = SetUpLine(fd.Get(), m_saved);
    }
    if (error != 0) {
        Tell(AvailabilityForError(error));
        m_openRetry.start();
        return;
    }
    m_fd = std::move(fd);
    m_notifier = new QSocketNotifier(m_fd.Get(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CBoardProbe::OnReadable);
    Tell({PortState::Usable, {}});
    SendQuery();
    m_queryTimer.start();
}

// What arrived between queries is no reply; the query goes out on a quiet line.
void CBoardProbe::SendQuery() {
    if (!m_fd.Valid()) {
        return;
    }
    ::tcflush(m_fd.Get(), TCIFLUSH);
    m_reply.clear();
    m_tooLong = false;
    m_awaiting = true;
    static const std::string kQuery = CrCommand(kVersionQuery);
    if (::write(m_fd.Get(), kQuery.data(), kQuery.size()) < 0 && errno != EAGAIN) {
        Lost(errno);
        return;
    }
    m_replyTimer.start();
}

void CBoardProbe::OnReadable() {
    char chunk[256];
    for (int i = 0; i < kReadsPerWakeUp && m_fd.Valid(); ++i) {
        const ssize_t count = ::read(m_fd.Get(), chunk, sizeof chunk);
        if (count > 0) {
            if (m_awaiting) {
                Take(chunk, static_cast<size_t>(count));
            }
            continue;
        }
        if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
            return;
        }
        // A hang-up: the device went away.
        Lost(count == 0 ? EIO : errno);
    }
}

// The reply runs to the last CR that has come; a line that outgrows the limit is
// read on to its CR and counts as no reply, as in the engine.
void CBoardProbe::Take(const char* bytes, size_t count) {
    const QByteArray chunk(bytes, static_cast<qsizetype>(count));
    const qsizetype cr = chunk.lastIndexOf(kCr);
    const QByteArray text = cr < 0 ? chunk : chunk.left(cr);
    if (m_reply.size() + text.size() > kReplyLimit) {
        m_tooLong = true;
        m_reply.clear();
    } else if (!m_tooLong) {
        m_reply += text;
    }
    if (cr >= 0) {
        EndQuery(m_tooLong ? std::nullopt : VersionInReply(m_reply));
    }
}

void CBoardProbe::EndQuery(const std::optional<QString>& version) {
    if (!std::exchange(m_awaiting, false)) {
        return;
    }
    m_replyTimer.stop();
    if (version) {
        emit Answered(*version);
    } else {
        emit Unanswered();
    }
}

// The line goes back as it was found, and the exclusive mode is lifted: the slot's
// run opens the port next, and on a pseudo-terminal whose other side stays open
// the kernel would keep it.
void CBoardProbe::Release() {
    m_queryTimer.stop();
    m_replyTimer.stop();
    m_awaiting = false;
    // The notifier may be inside its own signal: it stops watching now and goes later.
    if (m_notifier != nullptr) {
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    if (m_fd.Valid()) {
        ::tcsetattr(m_fd.Get(), TCSANOW, &m_saved);
        ::ioctl(m_fd.Get(), TIOCNXCL);
        m_fd.Reset();
    }
}

void CBoardProbe::Lost(int error) {
    Release();
    Tell(AvailabilityForError(error));
    m_openRetry.start();
}

void CBoardProbe::Tell(const PortAvailability& availability) {
    if (m_told != availability.state) {
        m_told = availability.state;
        emit PortStateChanged(availability);
    }
}
