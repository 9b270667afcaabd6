#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include "app/PortProbe.h"

namespace {

// A pseudo-terminal pair; the slave path behaves like a serial device.
class Pty {
  public:
    Pty() : m_master(::posix_openpt(O_RDWR | O_NOCTTY)) {
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0) {
            m_slavePath = ::ptsname(m_master);
        }
    }
    ~Pty() {
        if (m_master >= 0) {
            ::close(m_master);
        }
    }
    const std::string& SlavePath() const { return m_slavePath; }

  private:
    int m_master;
    std::string m_slavePath;
};

}  // namespace

TEST(PortProbe, CandidatesAreUsbThenAcmThenSerialZeroToTwentyNine) {
    const std::vector<std::string> paths = CandidatePorts();
    ASSERT_EQ(paths.size(), 90u);
    EXPECT_EQ(paths[0], "/dev/ttyUSB0");
    EXPECT_EQ(paths[29], "/dev/ttyUSB29");
    EXPECT_EQ(paths[30], "/dev/ttyACM0");
    EXPECT_EQ(paths[60], "/dev/ttyS0");
    EXPECT_EQ(paths[89], "/dev/ttyS29");

    std::vector<std::string> asked;
    ProbePorts([&](const std::string& path) {
        asked.push_back(path);
        return false;
    });
    EXPECT_EQ(asked, paths);
}

TEST(PortProbe, OpensAPresentDeviceAndSkipsAbsentOrHeldOnes) {
    Pty pty;
    ASSERT_FALSE(pty.SlavePath().empty());
    EXPECT_TRUE(PortOpens(pty.SlavePath()));
    EXPECT_TRUE(PortOpens(pty.SlavePath()));  // the probe let go of it
    EXPECT_FALSE(PortOpens("/dev/ttyUSB-not-there"));

    const int holder = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(PortOpens(pty.SlavePath()));
    ::close(holder);
    EXPECT_TRUE(PortOpens(pty.SlavePath()));
}
