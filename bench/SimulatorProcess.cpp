#include "SimulatorProcess.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

namespace {

// The simulator prints its port path as soon as its pty is open.
constexpr int kPathWaitMs = 5000;

}  // namespace

SimulatorProcess::SimulatorProcess(const std::vector<std::string>& arguments) {
    int out[2];
    if (pipe(out) != 0) {
        return;
    }
    const std::string exe =
        (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "tovrane-devsim").string();
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    m_pid = fork();
    if (m_pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) {
            _exit(127);
        }
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    if (m_pid > 0) {
        ReadPath(out[0]);
    }
    close(out[0]);
}

SimulatorProcess::~SimulatorProcess() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

// The first line the simulator writes, up to its line end.
void SimulatorProcess::ReadPath(int fd) {
    std::string line;
    char buffer[256];
    pollfd pfd = {fd, POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&pfd, 1, kPathWaitMs) > 0) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            return;
        }
        line.append(buffer, static_cast<size_t>(n));
    }
    const size_t end = line.find('\n');
    if (end != std::string::npos) {
        m_path = line.substr(0, end);
    }
}
