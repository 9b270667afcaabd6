#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>
#include <filesystem>

#include "SimulatorProcess.h"

namespace {

// The simulator runs while the object lives, and nothing of it is left afterwards:
// no child, running or unreaped; arguments it refuses give no port.
TEST(SimulatorProcessTest, RunsWhileItLivesAndLeavesNoChild) {
    EXPECT_TRUE(SimulatorProcess({"--no-such-option"}).Path().empty());
    {
        const SimulatorProcess device({"--dsp=none", "--mcu=new", "--pace"});
        ASSERT_FALSE(device.Path().empty());
        EXPECT_TRUE(std::filesystem::exists(device.Path()));
    }
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

}  // namespace
