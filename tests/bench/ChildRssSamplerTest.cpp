#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "ChildRssSampler.h"

namespace {

using namespace std::chrono_literals;

// A child running `argv` in a process group of its own, until the test ends it.
pid_t Spawn(std::vector<const char*> argv) {
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        execvp(argv[0], const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    setpgid(pid, pid);
    return pid;
}

void End(const std::vector<pid_t>& pids) {
    for (const pid_t pid : pids) {
        kill(-pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

// Only this process's own children of that name count: not a child of another
// name, nor the grandchildren of that name below it.
TEST(ChildRssSamplerTest, SumsOnlyOwnChildrenOfTheName) {
    const std::vector<pid_t> pids{Spawn({"sleep", "30"}), Spawn({"sleep", "30"}),
                                  Spawn({"sh", "-c", "sleep 30 & sleep 30 & wait"})};
    std::this_thread::sleep_for(300ms);  // the children have exec'd
    ChildRssSampler sampler("sleep", 50ms);
    ChildRssSampler none("tovrane-cli", 50ms);
    std::this_thread::sleep_for(200ms);
    sampler.Stop();
    none.Stop();
    End(pids);
    EXPECT_EQ(sampler.ChildrenAtPeak(), 2);
    EXPECT_GT(sampler.PeakKb(), 0);
    EXPECT_GT(sampler.OwnCpuMs(), 0);
    EXPECT_EQ(none.ChildrenAtPeak(), 0);
    EXPECT_EQ(none.PeakKb(), 0);
}

}  // namespace
