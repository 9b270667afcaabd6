#include "bundle/SshKeygen.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QStandardPaths>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "SerialLib/Serial/posix/UniqueFd.h"
#include "link/Timeouts.h"

extern char** environ;

namespace {

// ssh-keygen prints a line or two; more than this is not kept.
constexpr qsizetype kMaxOutputBytes = qsizetype{64} * 1024;
constexpr std::size_t kReadChunk = 4096;

struct Pipe {
    UniqueFd read;
    UniqueFd write;
};

// Our reading end does not block, so what is left after the child's end can be taken
// without waiting; the child's writing end stays as it expects.
bool MakePipe(Pipe& pipe) {
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    pipe.read.Reset(ends[0]);
    pipe.write.Reset(ends[1]);
    return ::fcntl(ends[0], F_SETFL, O_NONBLOCK) == 0;
}

// The child reads `inputPath` (/dev/null when empty) and writes into the pipes; every
// other descriptor of this process is close-on-exec.
pid_t Spawn(const QString& program, const QStringList& arguments, const std::string& inputPath,
            Pipe& out, Pipe& err) {
    const QByteArray path = program.toLocal8Bit();
    std::vector<QByteArray> texts{path};
    texts.reserve(static_cast<std::size_t>(arguments.size()) + 1);
    for (const QString& argument : arguments) {
        texts.push_back(argument.toLocal8Bit());
    }
    std::vector<char*> argv;
    argv.reserve(texts.size() + 1);
    for (QByteArray& text : texts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(
        &actions, STDIN_FILENO, inputPath.empty() ? "/dev/null" : inputPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.write.Get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.write.Get(), STDERR_FILENO);
    pid_t pid = -1;
    const int error =
        ::posix_spawn(&pid, path.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    out.write.Reset();
    err.write.Reset();
    return error == 0 ? pid : -1;
}

// Appends what can be read from `fd` now to `text`, up to the bound; closes `fd` at its end.
void Drain(UniqueFd& fd, QByteArray& text) {
    std::array<char, kReadChunk> chunk{};
    for (;;) {
        const ssize_t n = ::read(fd.Get(), chunk.data(), chunk.size());
        if (n > 0) {
            text.append(chunk.data(), std::min<qsizetype>(n, kMaxOutputBytes - text.size()));
            continue;
        }
        if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
            fd.Reset();
        }
        if (n == 0 || errno != EINTR) {
            return;
        }
    }
}

// Waits up to `timeoutMs` for the child to end or print; takes what it printed. True once
// it has ended.
bool WaitAndCollect(int pidFd, Pipe& out, Pipe& err, QByteArray& outText, QByteArray& errText,
                    int timeoutMs) {
    std::array<pollfd, 3> fds{
        {{pidFd, POLLIN, 0}, {out.read.Get(), POLLIN, 0}, {err.read.Get(), POLLIN, 0}}};
    if (::poll(fds.data(), fds.size(), timeoutMs) < 0) {
        return false;
    }
    for (auto [fd, text] : {std::pair{&out.read, &outText}, std::pair{&err.read, &errText}}) {
        if (fd->Valid()) {
            Drain(*fd, *text);
        }
    }
    return fds[0].revents != 0;
}

}  // namespace

SshKeygenRun RunSshKeygen(const QStringList& arguments, const std::string& inputPath,
                          uint32_t limitMs, const std::function<bool()>& stopped) {
    SshKeygenRun run;
    const QString program = QStandardPaths::findExecutable("ssh-keygen");
    if (program.isEmpty()) {
        run.trouble =
            "ssh-keygen, which checks bundle signatures, is not installed (Debian "
            "package openssh-client)";
        return run;
    }
    Pipe out;
    Pipe err;
    if (!MakePipe(out) || !MakePipe(err)) {
        run.trouble = std::string("ssh-keygen could not be run: ") + std::strerror(errno);
        return run;
    }
    const pid_t pid = Spawn(program, arguments, inputPath, out, err);
    if (pid < 0) {
        run.trouble = "ssh-keygen could not be run";
        return run;
    }
    const UniqueFd pidFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    const QDeadlineTimer deadline(limitMs);
    QByteArray errText;
    for (bool ended = false; !ended;) {
        if (!pidFd.Valid() || (stopped && stopped()) || deadline.hasExpired()) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            run.trouble = !pidFd.Valid()         ? "ssh-keygen could not be watched"
                          : stopped && stopped() ? "stopped"
                                                 : "ssh-keygen did not finish in time";
            return run;
        }
        const int wait =
            static_cast<int>(std::min<qint64>(deadline.remainingTime(), timing::kStopPollMs));
        ended = WaitAndCollect(pidFd.Get(), out, err, run.out, errText, wait);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.finished = WIFEXITED(status);
    run.exitCode = run.finished ? WEXITSTATUS(status) : -1;
    if (!run.finished) {
        run.trouble = "ssh-keygen crashed";
    } else if (run.exitCode != 0) {
        run.trouble = FirstLine(errText);
    }
    return run;
}

std::string FirstLine(const QByteArray& text) {
    for (const QByteArray& line : text.split('\n')) {
        if (!line.trimmed().isEmpty()) {
            return line.trimmed().toStdString();
        }
    }
    return "no reason given";
}
