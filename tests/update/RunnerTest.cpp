// The operation runner: what each button does around the update procedures.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Sequences.h"
#include "SimulatedRun.h"
#include "UpdateRig.h"
#include "tools/devsim/DeviceSimulator.h"

namespace {

using namespace std::chrono_literals;
using devsim::Generation;

// Records log lines and device commands in one trail, in the order they happened.
class TrailWindow : public RecordingWindow {
  public:
    void LogLine(const std::string& text) override {
        RecordingWindow::LogLine(text);
        Add("log " + text);
    }
    void Add(const std::string& entry) {
        std::lock_guard lock(m_mutex);
        m_trail.push_back(entry);
    }
    std::vector<std::string> Trail() const {
        std::lock_guard lock(m_mutex);
        return m_trail;
    }

  private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_trail;
};

class Runner : public ::testing::Test {
  protected:
    Runner() : m_trail(new TrailWindow), m_rig(10, std::unique_ptr<RecordingWindow>(m_trail)) {}

    void Launch(Generation dsp, Generation mcu, const std::string& version = "TOVRANE-SIM V1.00") {
        devsim::Options options = DeviceOptions(dsp, mcu, version);
        options.onCommand = [this](const devsim::CommandRecord& record) {
            m_trail->Add("cmd " + record.text);
        };
        m_sim = std::make_unique<devsim::DeviceSimulator>(std::move(options));
        ASSERT_TRUE(m_sim->Start()) << m_sim->LastError();
    }
    bool Press(OperationModeValue mode) { return PressAndAwaitClose(m_rig, *m_sim, mode); }
    std::vector<std::string> Commands() const {
        std::vector<std::string> texts;
        for (const devsim::CommandRecord& record : m_sim->Commands()) {
            texts.push_back(record.text);
        }
        return texts;
    }
    // The trail from the first entry equal to `from` on.
    std::vector<std::string> TrailFrom(const std::string& from) const {
        auto trail = m_trail->Trail();
        auto start = std::find(trail.begin(), trail.end(), from);
        return std::vector<std::string>(start, trail.end());
    }

    TrailWindow* m_trail;  // owned by the rig
    UpdateRig m_rig;
    std::unique_ptr<devsim::DeviceSimulator> m_sim;
};

}  // namespace

TEST_F(Runner, MissingImagesAreReportedInTheDispatchersOrder) {
    struct Row {
        Generation dsp, mcu;
        OperationModeValue mode;
        std::vector<std::string> ending;  // from "log Connecting.........." on
    };
    const std::vector<Row> rows = {
        {Generation::None,
         Generation::Old,
         ModeMcu,
         {"cmd SV", "log mcu_old.mot can not found!", "log Com was closed"}},
        {Generation::None,
         Generation::New,
         ModeMcu,
         {"log mcu_new.mot can not found!", "cmd RES", "log Com was closed"}},
        {Generation::Old,
         Generation::None,
         ModeDsp,
         {"log dsp.hex can not found!", "cmd SV", "log Com was closed"}},
        {Generation::New,
         Generation::None,
         ModeDsp,
         {"log dsp.hex can not found!", "cmd SV", "log Com was closed"}},
    };
    for (const Row& row : rows) {
        Launch(row.dsp, row.mcu);
        ASSERT_TRUE(Press(row.mode));
        auto trail = TrailFrom("log Connecting..........");
        ASSERT_GE(trail.size(), 3u);
        // Detection commands come first; the ending is what follows them.
        EXPECT_EQ(std::vector<std::string>(trail.end() - 3, trail.end()), row.ending);
        EXPECT_EQ(m_rig.Engine().LastOutcome(), OperationOutcome::Failed);
    }
}

TEST_F(Runner, DetectionFailureSendsResToTheMcuOnly) {
    Launch(Generation::None, Generation::None);
    ASSERT_TRUE(Press(ModeMcu));
    EXPECT_EQ(Commands(), (std::vector<std::string>{"BDR96", "MCU001", "MCU001", "MCU001", "MCU001",
                                                    "mcu001", "mcu001", "mcu001", "RES"}));
    auto trail = TrailFrom("log Connecting..........");
    EXPECT_EQ(std::vector<std::string>(trail.end() - 3, trail.end()),
              (std::vector<std::string>{"log Can not connect to device", "cmd RES",
                                        "log Com was closed"}));
    EXPECT_EQ(m_rig.Engine().LastReport().detail, "no reply");

    m_sim->ClearLog();
    ASSERT_TRUE(Press(ModeDsp));
    EXPECT_EQ(Commands(),
              (std::vector<std::string>{"BDR96"} + std::vector<std::string>(7, ":dsp001")));
    const auto log = m_rig.Window().Log();
    EXPECT_EQ(log[log.size() - 2], "Can not connect to device");
    EXPECT_EQ(m_rig.Engine().LastOutcome(), OperationOutcome::Failed);
}

TEST_F(Runner, VersionOfNineCharactersIsShownEightIsAFailure) {
    Launch(Generation::New, Generation::New, "V1.2.3.4.");
    ASSERT_TRUE(Press(ModeReadVersion));
    EXPECT_EQ(Commands(), (std::vector<std::string>{"I"}));  // at 2400 baud: no "BDR96"
    EXPECT_EQ(m_rig.Window().Log(),
              (std::vector<std::string>{"Connecting..........", "V1.2.3.4.", "Com was closed"}));
    auto messages = m_rig.Window().Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "V1.2.3.4.");
    EXPECT_EQ(messages[0].caption, "Version");
    EXPECT_EQ(m_rig.Engine().LastOutcome(), OperationOutcome::VersionRead);

    Launch(Generation::New, Generation::New, "V1.2.3.4");
    m_rig.Window().Clear();
    ASSERT_TRUE(Press(ModeReadVersion));
    EXPECT_EQ(m_rig.Window().Log(),
              (std::vector<std::string>{"Connecting..........", "Com was closed"}));
    messages = m_rig.Window().Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Read version fail");
    EXPECT_EQ(messages[0].caption, "Version");
    EXPECT_EQ(m_rig.Engine().LastOutcome(), OperationOutcome::Failed);
}

TEST_F(Runner, NoSelectedPortStartsNothing) {
    for (OperationModeValue mode : {ModeDsp, ModeMcu, ModeReadVersion}) {
        m_rig.Window().Clear();
        EXPECT_FALSE(m_rig.Press(mode, std::nullopt));
        ASSERT_EQ(m_rig.Window().Messages().size(), 1u);
        EXPECT_EQ(m_rig.Window().Messages()[0].text, "Canot find serial interface!");
        EXPECT_TRUE(m_rig.Window().EnableCalls().empty());
        EXPECT_EQ(Shared().OperationMode, mode);
    }
}

TEST_F(Runner, PortThatCannotBeOpenedLeavesTheButtonsEnabled) {
    EXPECT_TRUE(m_rig.Press(ModeDsp, std::string("/dev/tovrane-no-such-port")));
    EXPECT_TRUE(m_rig.Window().Log().empty());  // no "Connecting.........."
    ASSERT_EQ(m_rig.Window().Messages().size(), 1u);
    EXPECT_EQ(m_rig.Window().Messages()[0].text, "Cannot open serial port");
    for (int id : {IdUpdateDsp, IdUpdateMcu, IdReadVersion}) {
        EXPECT_TRUE(m_rig.Window().IsEnabled(id));
    }
    EXPECT_EQ(m_rig.Engine().LastOutcome(), OperationOutcome::Failed);
}

TEST_F(Runner, ImagesThatCannotBeAnUpdateAreRefusedBeforeAnyCommand) {
    struct Case {
        OperationModeValue mode;
        std::string image;
        std::string cause;
    };
    const std::vector<Case> cases = {
        {ModeDsp, std::string(":0400100012345678D8\r\n:04\0\x7f\r\n", 28),
         "Image line 2 is not text!"},
        {ModeDsp, ":0400100012345678D8\r\n:02002000ABCD67\r\n",
         "Image line 2: record checksum wrong!"},
        {ModeMcu, "S00600004844521B\r\nS2080000000102FFAA4C\r\n",
         "Image line 2: record checksum wrong!"},
        {ModeMcu, "", "Image file has no block to send!"},
        {ModeMcu, "S20800C0000102FFAA8B\r\nS804000000FB\r\n", "Image file has no block to send!"},
    };
    Launch(Generation::New, Generation::New);
    for (const Case& c : cases) {
        m_sim->ClearLog();
        m_rig.Window().Clear();
        m_rig.WriteImage(c.mode == ModeDsp ? "dsp.hex" : "mcu_new.mot", c.image);
        ASSERT_TRUE(Press(c.mode));
        const std::string detect = c.mode == ModeDsp ? ":dsp001" : "MCU001";
        EXPECT_EQ(Commands(), (std::vector<std::string>{"BDR96", detect, detect})) << c.cause;
        const auto log = m_rig.Window().Log();
        ASSERT_GE(log.size(), 3u);
        EXPECT_EQ(log[log.size() - 3], c.cause);
        EXPECT_EQ(log[log.size() - 2], "Image file refused, nothing was sent.");
        EXPECT_EQ(m_rig.Engine().LastReport().result, RunResult::ImageRefused) << c.cause;
    }
}

TEST_F(Runner, AnImageWithoutCheckpointIsFlaggedBeforeTheEraseAndRefusedWhenVerifyingIsRequired) {
    Launch(Generation::None, Generation::New);
    m_rig.WriteImage("mcu_new.mot", "S2080000000102FFAA4B\r\nS2060140000102B5\r\n");
    ASSERT_TRUE(Press(ModeMcu));
    const auto trail = m_trail->Trail();
    const auto flagged = std::find(trail.begin(), trail.end(),
                                   "log No checkpoint record: the flash will not be verified.");
    EXPECT_LT(flagged, std::find(trail.begin(), trail.end(), "cmd SE"));
    RunReport report = m_rig.Engine().LastReport();
    EXPECT_EQ(report.result, RunResult::Finished);
    EXPECT_FALSE(report.verified);

    m_sim->ClearLog();
    m_rig.Engine().SetRequireCheckpoint(true);
    ASSERT_TRUE(Press(ModeMcu));
    EXPECT_EQ(Commands(), (std::vector<std::string>{"BDR96", "MCU001", "MCU001"}));
    EXPECT_EQ(m_rig.Engine().LastReport().result, RunResult::ImageRefused);
}

TEST_F(Runner, ASecondPressDuringARunIsRefused) {
    Launch(Generation::New, Generation::New);
    ASSERT_TRUE(m_rig.Engine().OnReadVersion(m_sim->SlavePath()));
    EXPECT_FALSE(m_rig.Engine().OnUpdateDsp(m_sim->SlavePath()));
    EXPECT_EQ(Shared().OperationMode, ModeReadVersion);
    m_rig.Engine().Stop();
}

TEST_F(Runner, StoppingCutsTheRunShortAndLeavesWindowAndPortAlone) {
    Launch(Generation::New, Generation::New);
    devsim::Faults silentThirdBlock;
    silentThirdBlock.commands = {{"SD_0003", devsim::FaultAction::Silence, 0}};
    m_sim->SetFaults(silentThirdBlock);
    m_rig.WriteImage("dsp.hex",
                     ":0400100012345678D8\r\n:02002000ABCD66\r\n:040030001111222266\r\n");
    timing::SetScalePercentForTests(100);  // a block that takes 5 s to fail
    ASSERT_TRUE(m_rig.Engine().OnUpdateDsp(m_sim->SlavePath()));
    // Serve events until the device has been asked for block 3.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const auto commands = Commands();
        if (!commands.empty() && commands.back().rfind("SD_0003", 0) == 0) {
            loop.quit();
        }
    });
    poll.start(10);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    ASSERT_EQ(Shared().WrittenBlocks, 2u);

    const auto start = std::chrono::steady_clock::now();
    m_rig.Engine().Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_FALSE(m_rig.Engine().Running());
    const auto log = m_rig.Window().Log();
    EXPECT_EQ(log.back(), "Program flash..........");  // no "Write fail!", no "Com was closed"
    EXPECT_EQ(m_sim->ConnectionsEnded(), 0);           // the closing window closes it
    QCoreApplication::processEvents();
    EXPECT_EQ(m_rig.Window().Log().size(), log.size());
    m_rig.Link().ClosePort();
    EXPECT_TRUE(m_sim->WaitForConnectionsEnded(1, 5s));
}
