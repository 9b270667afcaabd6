// The standalone tovrane-devsim: prints the port, serves it, ends on SIGTERM.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "SlavePort.h"

namespace devsim {
namespace {

using namespace std::chrono_literals;

// The program running with its stdout on a pipe; killed if a test leaves it.
class Program {
  public:
    explicit Program(std::vector<std::string> args) {
        int fds[2];
        if (::pipe(fds) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        args.insert(args.begin(), DEVSIM_PROGRAM);
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, DEVSIM_PROGRAM, &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~Program() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
        ::close(out_);
    }

    // The first line of its output, or "" if none came within the timeout.
    std::string ReadLine(std::chrono::milliseconds timeout) {
        std::string line;
        char c = 0;
        pollfd pfd{out_, POLLIN, 0};
        while (::poll(&pfd, 1, static_cast<int>(timeout.count())) == 1 &&
               ::read(out_, &c, 1) == 1 && c != '\n') {
            line += c;
        }
        return line;
    }
    void Signal(int signal) const { ::kill(pid_, signal); }
    // Exit status, or -1 when it did not exit normally.
    int Wait() {
        int status = 0;
        const pid_t pid = std::exchange(pid_, -1);
        if (pid <= 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
            return -1;
        }
        return WEXITSTATUS(status);
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
};

TEST(Program, PrintsThePortServesItAndEndsOnSigterm) {
    Program program({"--version-text=ABCDEFGHIJ", "--erase-ms=0"});
    const std::string path = program.ReadLine(5s);
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0U) << path;
    {
        test::SlavePort port(path, 2400);
        EXPECT_EQ(port.Ask("I"), "ABCDEFGHIJ");
    }
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(), 0);
}

TEST(Program, TheBoardGoesOutAndComesInOnSignals) {
    Program program({"--board-out", "--version-text=ABCDEFGHIJ"});
    const std::string path = program.ReadLine(5s);
    test::SlavePort port(path, 2400);
    EXPECT_TRUE(port.AskExpectingSilence("I"));
    // A signal takes effect a moment after it was sent.
    const auto answersWithin5s = [&port](bool answered) {
        for (int i = 0; i < 25; ++i) {
            if (answered ? port.Ask("I", 200ms) == "ABCDEFGHIJ" : port.AskExpectingSilence("I")) {
                return true;
            }
        }
        return false;
    };
    program.Signal(SIGUSR2);
    EXPECT_TRUE(answersWithin5s(true));
    program.Signal(SIGUSR1);
    EXPECT_TRUE(answersWithin5s(false));
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(), 0);
}

TEST(Program, HelpVersionAndUsageErrors) {
    Program help({"--help"});
    EXPECT_EQ(help.ReadLine(5s), "Usage: tovrane-devsim [options]");
    EXPECT_EQ(help.Wait(), 0);
    Program version({"--version"});
    EXPECT_EQ(version.ReadLine(5s), "tovrane-devsim " TOVRANE_VERSION);
    EXPECT_EQ(version.Wait(), 0);
    for (const char* bad : {"--dsp=newest", "--erase-ms=-1", "--dsp-state=3", "--bogus", "extra"}) {
        Program program({bad});
        EXPECT_EQ(program.Wait(), 2) << bad;
    }
}

}  // namespace
}  // namespace devsim
