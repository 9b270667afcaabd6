// The simulator over its pty, driven from the slave side as the tool drives it.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <string>
#include <thread>

#include "SlavePort.h"
#include "tools/devsim/DeviceSimulator.h"

namespace devsim {
namespace {

using test::SlavePort;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kVersion = "TOVRANE-SIM V1.00";
constexpr const char* kDspData = ":0400100012345678E2";  // sum 0x68AC
constexpr const char* kDspCheckpoint = ":023FFE00111100";
constexpr const char* kMcuData = "S2080000000102FFAA4B";  // sum 0x1AC

std::chrono::milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

class Simulator : public testing::Test {
  protected:
    void Launch(Options options = {}) {
        sim_ = std::make_unique<DeviceSimulator>(std::move(options));
        ASSERT_TRUE(sim_->Start()) << sim_->LastError();
    }
    // Opens the port at 2400 and switches the line to 9600, as an update does.
    std::unique_ptr<SlavePort> Connect() {
        auto port = std::make_unique<SlavePort>(sim_->SlavePath(), 2400);
        EXPECT_TRUE(port->IsOpen());
        EXPECT_EQ(port->Ask("BDR96"), "(ACK)");
        port->SetBaud(9600);
        return port;
    }
    // Connects, erases the new DSP loader, starts programming and stores block 1.
    std::unique_ptr<SlavePort> ConnectAndStoreFirstDspBlock() {
        auto port = Connect();
        for (const char* command : {":dsp001", ":efh", ":st"}) {
            port->Ask(command);
        }
        EXPECT_EQ(port->Ask(std::string("SD_0001") + kDspData), "ST4_0001");
        return port;
    }
    void Disconnect(std::unique_ptr<SlavePort>& port) {
        const int ended = sim_->ConnectionsEnded();
        port.reset();
        ASSERT_TRUE(sim_->WaitForConnectionsEnded(ended + 1, 2s));
    }
    const CommandRecord LastRecord() const {
        const auto log = sim_->Commands();
        return log.empty() ? CommandRecord{} : log.back();
    }
    // The last record once the time its reply left has been noted (the reader can
    // see the reply's last byte a moment before that).
    const CommandRecord LastAnsweredRecord() const {
        CommandRecord record = LastRecord();
        for (int i = 0; i < 100 && record.replyEndNs == 0; ++i) {
            std::this_thread::sleep_for(10ms);
            record = LastRecord();
        }
        return record;
    }

    std::unique_ptr<DeviceSimulator> sim_;
};

TEST_F(Simulator, ListensAt2400UntilBdr96ThenAt9600) {
    Launch();
    SlavePort port(sim_->SlavePath(), 2400);
    ASSERT_TRUE(port.IsOpen());
    EXPECT_EQ(port.Ask("I"), kVersion);
    EXPECT_EQ(port.Ask("BDR96"), "(ACK)");
    EXPECT_EQ(sim_->DeviceBaud(), 9600);
    EXPECT_TRUE(port.AskExpectingSilence("I")) << "still at 2400: noise";
    EXPECT_TRUE(LastRecord().noise);
    EXPECT_EQ(LastRecord().baud, 2400);
    ASSERT_TRUE(port.SetBaud(9600));
    EXPECT_EQ(port.Ask("I"), kVersion);
    EXPECT_FALSE(LastRecord().noise);
    EXPECT_EQ(LastRecord().baud, 9600);
}

TEST_F(Simulator, BytesAtTheWrongSpeedAreNoiseAndCorruptThePendingLine) {
    Launch();
    SlavePort port(sim_->SlavePath(), 9600);
    EXPECT_TRUE(port.AskExpectingSilence("BDR96"));
    EXPECT_EQ(LastRecord().text, "BDR96");
    EXPECT_TRUE(LastRecord().noise);
    ASSERT_TRUE(port.SetBaud(2400));
    port.Write("BD");  // half a command, then noise, then the rest: nothing usable
    port.SetBaud(9600);
    port.Write("xx");
    port.SetBaud(2400);
    EXPECT_TRUE(port.AskExpectingSilence("R96"));
    EXPECT_EQ(port.Ask("BDR96"), "(ACK)");
}

TEST_F(Simulator, ClosingThePortReturnsTheDeviceTo2400) {
    Launch();
    auto port = Connect();
    EXPECT_EQ(port->Ask("I"), kVersion);
    EXPECT_TRUE(sim_->Connected());
    Disconnect(port);
    EXPECT_FALSE(sim_->Connected());
    EXPECT_EQ(sim_->DeviceBaud(), 2400);
    SlavePort again(sim_->SlavePath(), 9600);
    EXPECT_TRUE(again.AskExpectingSilence("I"));
    again.SetBaud(2400);
    EXPECT_EQ(again.Ask("I"), kVersion);
    again.Close();

    // Closed and opened again at once, as a bundle's next step does.
    for (int i = 0; i < 5; ++i) {
        auto update = Connect();
        update.reset();
        SlavePort next(sim_->SlavePath(), 2400);
        EXPECT_EQ(next.Ask("I"), kVersion) << "attempt " << i;
    }
}

// A child forked from the process the simulator runs in (a station starting a run)
// holds a copy of the simulator's own descriptor until it execs: not a connection.
TEST_F(Simulator, AForkedChildDoesNotKeepAClosedConnectionGoing) {
    Launch();
    auto port = Connect();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(port->Fd());  // the tool's port is the parent's to close
        const char done = 1;
        [[maybe_unused]] const ssize_t n = ::write(ready[1], &done, 1);
        ::usleep(300'000);
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    char done = 0;
    ASSERT_EQ(::read(ready[0], &done, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    Disconnect(port);
    EXPECT_EQ(sim_->DeviceBaud(), 2400);
    ::waitpid(child, nullptr, 0);
}

TEST_F(Simulator, RepliesNobodyReadIsNotLeftForTheNextConnection) {
    Options options;
    options.pacing.replyDelay = 50ms;
    Launch(options);
    auto port = std::make_unique<SlavePort>(sim_->SlavePath(), 2400);
    port->Write("I\r");
    ASSERT_TRUE(sim_->WaitForCommands(1, 2s));
    Disconnect(port);  // before the delayed reply left
    port = std::make_unique<SlavePort>(sim_->SlavePath(), 2400);
    EXPECT_EQ(port->ReadUntilQuiet(150ms), "");

    port->Write("I\r");  // and closed at once, before the device read it
    Disconnect(port);
    port = std::make_unique<SlavePort>(sim_->SlavePath(), 2400);
    EXPECT_EQ(port->ReadUntilQuiet(150ms), "");
}

TEST_F(Simulator, TheToolCanOpenExclusivelyOnEveryConnection) {
    Launch();
    for (int round = 0; round < 2; ++round) {
        auto port = std::make_unique<SlavePort>(sim_->SlavePath(), 2400);
        ASSERT_TRUE(port->IsOpen());
        int exclusive = -1;
        ASSERT_EQ(::ioctl(port->Fd(), TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0) << "round " << round;
        ASSERT_EQ(::ioctl(port->Fd(), TIOCEXCL), 0);
        EXPECT_EQ(::flock(port->Fd(), LOCK_EX | LOCK_NB), 0);
        SlavePort other(sim_->SlavePath(), 2400);  // root ignores TIOCEXCL; flock holds
        if (other.IsOpen()) {
            EXPECT_EQ(::flock(other.Fd(), LOCK_EX | LOCK_NB), -1);
            other.Close();
        }
        EXPECT_EQ(port->Ask("I"), kVersion) << "round " << round;
        Disconnect(port);
    }
}

// CPU time of this process while the line is idle: the serving thread must sleep
// in ppoll(), with or without a tool on the line.
TEST_F(Simulator, AnIdleLineCostsNoProcessorTime) {
    Launch();
    const auto cpuMs = [] {
        timespec ts{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
    };
    double before = cpuMs();
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(cpuMs() - before, 30.0) << "no tool connected";
    auto port = Connect();
    before = cpuMs();
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(cpuMs() - before, 30.0) << "tool connected";
    Disconnect(port);
    before = cpuMs();
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(cpuMs() - before, 30.0) << "after the tool left";
}

TEST_F(Simulator, OldDspUpdateOverTheLine) {
    Options options;
    options.device.dsp = Generation::Old;
    Launch(options);
    auto port = Connect();
    EXPECT_EQ(port->Ask(":dsp001"), ":dsp");
    EXPECT_EQ(port->Ask(":dsp"), ":efh");
    EXPECT_EQ(port->Ask(":efh"), ":st");
    EXPECT_EQ(port->Ask(":st"), ":R");
    EXPECT_EQ(port->Ask(kDspData), ":O");
    EXPECT_EQ(port->Ask("SUM"), "SUM68AC");
    EXPECT_EQ(port->Ask(kDspCheckpoint), ":O");
    EXPECT_EQ(port->Ask("SUM"), "SUM79BD");
    EXPECT_EQ(port->Ask("SV"), "SV");
}

TEST_F(Simulator, NewMcuUpdateResumesAfterReconnecting) {
    Launch();
    auto port = Connect();
    EXPECT_EQ(port->Ask("MCU001"), "ST1_0000");
    EXPECT_EQ(port->Ask("SE"), "ST2");
    EXPECT_EQ(port->Ask("SP"), "ST3");
    EXPECT_EQ(port->Ask(std::string("SD_0001") + kMcuData), "ST4_0001");
    Disconnect(port);
    EXPECT_EQ(sim_->McuState(), (LoaderState{3, 1, 0x1AC}));
    port = Connect();
    EXPECT_EQ(port->Ask("MCU001"), "ST3_0001");
    EXPECT_EQ(port->Ask("SUM"), "SUM01AC");
    EXPECT_EQ(port->Ask(std::string("SD_0002") + kMcuData), "ST4_0002");
    EXPECT_EQ(port->Ask("RES"), "ST5");
    EXPECT_EQ(sim_->McuState(), LoaderState{});
}

TEST_F(Simulator, StateSetFromTheTestShowsInTheStatusReply) {
    Launch();
    sim_->SetDspState({3, 40, 0});
    auto port = Connect();
    EXPECT_EQ(port->Ask(":dsp001"), "ST3_0040");
}

TEST_F(Simulator, GarbageWithoutCr) {
    Options options;
    options.faults.commands = {{"I", FaultAction::Garbage, 1}};
    Launch(options);
    SlavePort port(sim_->SlavePath(), 2400);
    port.Write("I\r");
    const std::string garbage = port.ReadUntilQuiet(200ms);
    EXPECT_EQ(garbage.size(), 2000U);
    EXPECT_EQ(garbage.find('\r'), std::string::npos);
    EXPECT_EQ(port.Ask("I"), kVersion) << "only the first time";
}

TEST_F(Simulator, RepliesSplitIntoChunksWithPauses) {
    Launch();
    Faults faults;
    faults.chunkBytes = 5;
    faults.chunkPauseMs = 40;
    sim_->SetFaults(faults);
    SlavePort port(sim_->SlavePath(), 2400);
    const auto start = Clock::now();
    port.Write("I\r");
    // 18 bytes in chunks of 5: four chunks, three pauses.
    const std::string first = port.ReadUntilQuiet(25ms);
    EXPECT_EQ(first, "TOVRA");
    EXPECT_EQ(port.ReadLine(), "NE-SIM V1.00");
    EXPECT_GE(Since(start), 120ms);
}

// Upper bounds on time fail when the machine is busy; the best of a few tries
// does not.
std::chrono::milliseconds FastestAnswer(SlavePort& port, const char* command, const char* reply) {
    auto fastest = std::chrono::milliseconds::max();
    for (int i = 0; i < 3; ++i) {
        const auto start = Clock::now();
        EXPECT_EQ(port.Ask(command), reply);
        fastest = std::min(fastest, Since(start));
    }
    return fastest;
}

TEST_F(Simulator, WireTimePacingAtTheCurrentSpeed) {
    Options options;
    options.pacing.wireTime = true;
    Launch(options);
    SlavePort port(sim_->SlavePath(), 2400);
    const auto start = Clock::now();
    // 2 bytes in and 18 bytes out at 2400 baud: 20 x 4.17 ms.
    EXPECT_EQ(port.Ask("I"), kVersion);
    EXPECT_GE(Since(start), 83ms);
    const CommandRecord asked = LastAnsweredRecord();
    EXPECT_GE(asked.replyEndNs - asked.timeNs, 83'000'000) << "the reply's last byte leaves "
                                                              "once both lines' wire time passed";
    bool partial = false;
    for (int i = 0; i < 3 && !partial; ++i) {
        port.Write("I\r");
        const std::string first = port.ReadUntilQuiet(1ms);
        partial = first.size() < 18;
        EXPECT_EQ(first + port.ReadLine().value_or(""), kVersion);
    }
    EXPECT_TRUE(partial) << "the reply leaves byte by byte";
    EXPECT_EQ(port.Ask("BDR96"), "(ACK)");
    port.SetBaud(9600);
    const auto fastest = FastestAnswer(port, "I", kVersion);  // 20 x 1.04 ms
    EXPECT_GE(fastest, 20ms);
    EXPECT_LT(fastest, 60ms);
}

TEST_F(Simulator, ReplyDelayAndEraseTime) {
    Options options;
    options.device.dsp = Generation::Old;
    options.pacing.replyDelay = 30ms;
    options.pacing.eraseTime = 100ms;
    Launch(options);
    auto port = Connect();
    auto start = Clock::now();
    EXPECT_EQ(port->Ask(":dsp001"), ":dsp");
    EXPECT_GE(Since(start), 30ms);
    start = Clock::now();
    EXPECT_EQ(port->Ask(":efh"), ":st");
    EXPECT_GE(Since(start), 130ms);
    sim_->SetPacing(Pacing{});
    EXPECT_LT(FastestAnswer(*port, ":dsp001", ":dsp"), 25ms);
}

TEST_F(Simulator, DropAfterBlocksUntilThePortCloses) {
    Options options;
    options.faults.dropAfterBlocks = 1;
    Launch(options);
    auto port = ConnectAndStoreFirstDspBlock();
    EXPECT_TRUE(port->AskExpectingSilence(std::string("SD_0002") + kDspCheckpoint));
    EXPECT_TRUE(port->AskExpectingSilence("SUM"));
    Disconnect(port);
    port = Connect();
    EXPECT_EQ(port->Ask(":dsp001"), "ST3_0001");
}

TEST_F(Simulator, HangUpAfterBlocksRemovesThePortAndKeepsTheLoaderState) {
    Options options;
    options.faults.hangUpAfterBlocks = 1;
    Launch(options);
    auto port = ConnectAndStoreFirstDspBlock();
    port->Write(std::string("SD_0002") + kDspCheckpoint + "\r");
    pollfd pfd{port->Fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&pfd, 1, 2000), 1);
    EXPECT_TRUE(pfd.revents & POLLHUP);
    char byte = 0;
    EXPECT_LE(::read(port->Fd(), &byte, 1), 0);
    EXPECT_TRUE(sim_->HungUp());
    EXPECT_FALSE(sim_->Running());

    port.reset();
    ASSERT_TRUE(sim_->Start());
    EXPECT_FALSE(sim_->HungUp());
    port = Connect();
    EXPECT_EQ(port->Ask(":dsp001"), "ST3_0001");
}

// A fixture's board goes and comes while the tool's port stays open: out, nothing is
// answered; back in, a new board listens at 2400 with fresh loaders.
TEST_F(Simulator, ABoardTakenOutIsSilentAndANewOneStartsAfresh) {
    Launch();
    auto port = ConnectAndStoreFirstDspBlock();
    sim_->SetBoardPresent(false);
    EXPECT_TRUE(port->AskExpectingSilence(":dsp001"));
    EXPECT_TRUE(port->AskExpectingSilence("I"));
    sim_->SetBoardPresent(true);
    ASSERT_TRUE(port->SetBaud(2400));
    // The serving thread takes the new board on its next pass.
    std::optional<std::string> version;
    for (int i = 0; i < 10 && version != kVersion; ++i) {
        version = port->Ask("I", 200ms);
    }
    EXPECT_EQ(version, kVersion);
    EXPECT_EQ(port->Ask(":dsp001"), "ST1_0000");
}

TEST_F(Simulator, CommandLogWithTimesSpeedsAndReplies) {
    std::atomic<int> seen{0};
    Options options;
    options.onCommand = [&seen](const CommandRecord&) { ++seen; };
    Launch(options);
    SlavePort port(sim_->SlavePath(), 2400);
    const std::int64_t before = Clock::now().time_since_epoch().count();
    port.Ask("BDR96");
    port.Write("I\r");                          // now noise: the device listens at 9600
    port.Write(std::string(1500, 'x') + "\r");  // longer than any line
    ASSERT_TRUE(sim_->WaitForCommands(3, 2s));
    const auto log = sim_->Commands();
    ASSERT_EQ(log.size(), 3U);
    EXPECT_EQ(log[0].text, "BDR96");
    EXPECT_EQ(log[0].reply, "(ACK)");
    EXPECT_FALSE(log[0].noise);
    EXPECT_EQ(log[1].text, "I");
    EXPECT_TRUE(log[1].noise);
    EXPECT_EQ(log[1].reply, "");
    EXPECT_EQ(log[1].replyEndNs, 0) << "nothing was sent back";
    EXPECT_TRUE(log[2].noise);
    EXPECT_EQ(log[2].text.size(), 1024U);
    EXPECT_GE(log[0].timeNs, before);
    EXPECT_LE(log[0].timeNs, log[1].timeNs);
    EXPECT_LE(log[2].timeNs, Clock::now().time_since_epoch().count());
    EXPECT_EQ(seen.load(), 3);

    sim_->ClearLog();
    EXPECT_TRUE(sim_->Commands().empty());
    EXPECT_FALSE(sim_->WaitForCommands(1, 50ms));
}

}  // namespace
}  // namespace devsim
