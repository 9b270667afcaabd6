#include "cli/SignalPipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>

namespace {

// SIGHUP (the terminal closed) ends the work as the others do, unless it was
// ignored when the program started (nohup), which it then stays.
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[std::size(kSignals)] = {};
std::atomic<int> g_writeEnd{-1};
std::atomic<int> g_caught{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only touch lock-free values");

void OnSignal(int signal) {
    const int saved = errno;
    int none = 0;
    g_caught.compare_exchange_strong(none, signal);  // the first one decides how the work ends
    const unsigned char number = static_cast<unsigned char>(signal);
    (void)!::write(g_writeEnd.load(), &number, 1);
    errno = saved;
}

bool InstallHandlers() {
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        if (sigaction(kSignals[i], nullptr, &g_previous[i]) != 0) {
            return false;
        }
        const bool keepIgnored = kSignals[i] == SIGHUP && g_previous[i].sa_handler == SIG_IGN;
        if (!keepIgnored && sigaction(kSignals[i], &action, nullptr) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

CSignalPipe::CSignalPipe(QObject* parent) : QObject(parent) {
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    m_read = ends[0];
    m_write = ends[1];
    g_writeEnd = m_write;
    g_caught = 0;
    m_handlersSet = true;
    if (!InstallHandlers()) {
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_read, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &CSignalPipe::OnReadable);
}

CSignalPipe::~CSignalPipe() {
    for (size_t i = 0; i < std::size(kSignals) && m_handlersSet; ++i) {
        sigaction(kSignals[i], &g_previous[i], nullptr);
    }
    g_writeEnd = -1;
    m_notifier.reset();
    for (const int fd : {m_read, m_write}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

int CSignalPipe::Caught() {
    return g_caught.load();
}

void CSignalPipe::OnReadable() {
    unsigned char number = 0;
    while (::read(m_read, &number, 1) == 1) {
        emit Received(number);
    }
}
