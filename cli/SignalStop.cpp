#include "cli/SignalStop.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

namespace {

int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_signal = 0;

void OnSignal(int signal) {
    g_signal = signal;
    const unsigned char number = static_cast<unsigned char>(signal);
    (void)!write(g_pipe[1], &number, 1);
}

}  // namespace

bool InstallStopSignals() {
    if (g_pipe[0] >= 0) {
        return true;
    }
    if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

int StopSignal() {
    return g_signal;
}

int StopSignalFd() {
    return g_pipe[0];
}
