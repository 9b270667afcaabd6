// The window running whole operations: its timers, the completion sound, and
// closing while a worker runs, against the device simulator on a pty.

#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <chrono>

#include "DlgFixture.h"
#include "ModalWatcher.h"
#include "SerialLib/Serial/posix/Clock.h"
#include "TempDir.h"
#include "app/demo/DemoImages.h"
#include "link/Timeouts.h"
#include "tools/devsim/DeviceSimulator.h"
#include "update/ImageFiles.h"

namespace {

using namespace std::chrono_literals;

constexpr int kRecords = 40;
// dsp.hex: every line is a block (address record, data, checkpoint, end record).
constexpr int kDspBlocks = kRecords + 3;
// The MCU images: the S2 records (data and checkpoint).
constexpr int kMcuBlocks = kRecords + 1;

class WindowRunTest : public DlgTest {
  protected:
    void SetUp() override {
        DlgTest::SetUp();
        timing::SetScalePercentForTests(5);
        ASSERT_TRUE(WriteDemoImages(images.Path().string(), kRecords));
        SetImageDirectory(images.Path().string());
    }
    void TearDown() override {
        dlg.reset();  // the window closes its port before the device goes away
        device.reset();
        SetImageDirectory({});
        timing::SetScalePercentForTests(100);
    }

    void OpenOnDevice(devsim::Options options = {}) {
        device = std::make_unique<devsim::DeviceSimulator>(std::move(options));
        ASSERT_TRUE(device->Start()) << device->LastError();
        Open({}, {device->SlavePath()});
    }

    void Press(int button) { qobject_cast<QPushButton*>(dlg->Control(button))->click(); }

    // Runs the button's operation to its end; the device has seen the port close.
    void RunToEnd(int button) {
        const int ended = device->ConnectionsEnded();
        Press(button);
        ASSERT_TRUE(WaitForRunEnd(60'000));
        ASSERT_TRUE(device->WaitForConnectionsEnded(ended + 1, 5s));
    }

    bool Logged(const QString& line) const {
        const std::vector<QString> lines = LogLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    QProgressBar* Bar() const { return qobject_cast<QProgressBar*>(dlg->Control(IdProgressBar)); }

    TempDir images;
    std::unique_ptr<devsim::DeviceSimulator> device;
};

}  // namespace

TEST_F(DlgTest, EraseTimerClimbsOnePercentATickAndStopsAt100) {
    Open();
    TickOnce(EraseTimer);
    EXPECT_EQ(qobject_cast<QProgressBar*>(dlg->Control(IdProgressBar))->value(), 1);
    EXPECT_EQ(Text(IdPercent), "1%");

    dlg->StartTimer(EraseTimer, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Text(IdPercent) == "100%"; }, 5000));
    QTest::qWait(50);  // many more ticks
    dlg->StopTimer(EraseTimer);
    EXPECT_EQ(qobject_cast<QProgressBar*>(dlg->Control(IdProgressBar))->value(), 100);
    EXPECT_EQ(Text(IdPercent), "100%");
    EXPECT_EQ(Shared().EraseTicks.load(), 100);
}

TEST_F(DlgTest, FinishedPhasePlaysTheSoundOnceAndFailedPhaseNever) {
    Open();
    Shared().UpdatePhase = PhaseFinished;
    TickOnce(ProgramTimer);
    EXPECT_EQ(sounds, 1);
    EXPECT_EQ(Shared().UpdatePhase.load(), PhaseIdle);
    TickOnce(ProgramTimer);
    EXPECT_EQ(sounds, 1);

    Shared().UpdatePhase = PhaseFailed;
    TickOnce(ProgramTimer);
    EXPECT_EQ(sounds, 1);
    EXPECT_EQ(Shared().UpdatePhase.load(), PhaseIdle);
    TickOnce(EraseTimer);
    EXPECT_EQ(sounds, 1);
}

// A finish whose tick has not come before the timer stops still gets its sound.
TEST_F(DlgTest, StoppingTheStatisticsTimerDeliversAnOwedSoundOnce) {
    Open();
    dlg->StartTimer(ProgramTimer, 60'000);
    Shared().UpdatePhase = PhaseFinished;
    dlg->StopTimer(ProgramTimer);
    EXPECT_EQ(sounds, 1);
    EXPECT_EQ(Shared().UpdatePhase.load(), PhaseIdle);
    dlg->StopTimer(ProgramTimer);
    EXPECT_EQ(sounds, 1);

    dlg->StartTimer(ProgramTimer, 60'000);
    Shared().UpdatePhase = PhaseFailed;
    dlg->StopTimer(ProgramTimer);
    EXPECT_EQ(sounds, 1);
}

TEST_F(DlgTest, SecondRunShowsTheFirstRunsValuesUntilItsFirstTick) {
    Open();
    Shared().TotalBlocks = 1000;
    Shared().WrittenBlocks = 400;
    Shared().ProgramStartTime = TimeGetTime() - 20'000;
    Shared().UpdatePhase = PhaseProgramming;
    TickOnce(ProgramTimer);
    EXPECT_EQ(Text(IdElapsed), "00:20");
    EXPECT_EQ(Text(IdSpeed), "20 Blocks/Sec");
    EXPECT_EQ(Text(IdRemaining), "00:30");

    // The next run begins programming: nothing changes on screen before its tick.
    Shared().WrittenBlocks = 0;
    Shared().ProgramStartTime = TimeGetTime();
    TickOnce(EraseTimer);
    EXPECT_EQ(Text(IdElapsed), "00:20");
    EXPECT_EQ(Text(IdSpeed), "20 Blocks/Sec");

    TickOnce(ProgramTimer);
    EXPECT_EQ(Text(IdElapsed), "00:00");
    EXPECT_EQ(Text(IdSpeed), "0 Blocks/Sec");
    EXPECT_EQ(Text(IdRemaining), "00:30");  // no rate yet: the last estimate stays
}

class WindowRunByLoader : public WindowRunTest,
                          public testing::WithParamInterface<devsim::Generation> {};

INSTANTIATE_TEST_SUITE_P(Loaders, WindowRunByLoader,
                         testing::Values(devsim::Generation::New, devsim::Generation::Old),
                         [](const testing::TestParamInfo<devsim::Generation>& info) {
                             return info.param == devsim::Generation::New ? "New" : "Old";
                         });

TEST_P(WindowRunByLoader, ButtonsRunWholeUpdatesWithOneSoundEach) {
    devsim::Options options;
    options.device.dsp = GetParam();
    options.device.mcu = GetParam();
    OpenOnDevice(std::move(options));
    const struct {
        int button;
        int blocks;
    } runs[] = {{IdUpdateDsp, kDspBlocks}, {IdUpdateMcu, kMcuBlocks}};
    int expectedSounds = 0;
    for (const auto& run : runs) {
        SCOPED_TRACE(run.button);
        RunToEnd(run.button);
        EXPECT_EQ(sounds, ++expectedSounds);
        EXPECT_EQ(dlg->Engine().LastOutcome(), OperationOutcome::Finished);
        EXPECT_EQ(LogLines().front(), "Com was closed");
        EXPECT_TRUE(Logged("Total blocks:" + QString::number(run.blocks)));
        EXPECT_EQ(Text(IdTotalBlocks), QString::number(run.blocks));
        EXPECT_EQ(Text(IdWrittenBlocks), QString::number(run.blocks));
        EXPECT_EQ(Text(IdPercent), "100%");
        EXPECT_EQ(Bar()->maximum(), run.blocks);
        EXPECT_EQ(Bar()->value(), run.blocks);
        for (int id : {IdUpdateDsp, IdUpdateMcu, IdReadVersion}) {
            EXPECT_TRUE(dlg->Control(id)->isEnabled()) << id;
        }
    }
    EXPECT_EQ(device->DspState().stage, 1);  // each closing command ended its update
    EXPECT_EQ(device->McuState().stage, 1);
    const auto commands = device->Commands();
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                            [](const devsim::CommandRecord& c) { return c.text == "BDR96"; }),
              2)
        << "each update switches the line to 9600 baud";
    QTest::qWait(1500);  // the statistics timer was stopped: no late sound
    EXPECT_EQ(sounds, expectedSounds);
}

TEST_F(WindowRunTest, ReadVersionShowsTheDeviceText) {
    OpenOnDevice();
    QString text;
    ModalWatcher watcher([&](QWidget* box) { text = qobject_cast<QMessageBox*>(box)->text(); });
    RunToEnd(IdReadVersion);
    EXPECT_EQ(watcher.Seen(), 1);
    EXPECT_EQ(text, "TOVRANE-SIM V1.00");
    EXPECT_TRUE(Logged("TOVRANE-SIM V1.00"));
    EXPECT_EQ(device->Commands().front().text, "I") << "no baud switch for a version read";
    EXPECT_EQ(sounds, 0);
}

TEST_F(WindowRunTest, FailedVerificationPlaysNoSoundAndTheNextTickGoesIdle) {
    devsim::Options options;
    options.faults.wrongSum = true;
    OpenOnDevice(std::move(options));
    RunToEnd(IdUpdateDsp);
    EXPECT_EQ(dlg->Engine().LastOutcome(), OperationOutcome::Failed);
    // The statistics timer runs on after a failure; its next tick returns to idle.
    ASSERT_TRUE(QTest::qWaitFor([] { return Shared().UpdatePhase.load() == PhaseIdle; }, 3000));
    QTest::qWait(1200);
    EXPECT_EQ(sounds, 0);
}

// The worker waits up to 10 s for the erase to end; Exit cuts that wait short.
TEST_F(WindowRunTest, ExitDuringAnEraseStopsTheWorkerAndClosesThePortSilently) {
    timing::SetScalePercentForTests(100);
    devsim::Options options;
    options.device.dsp = devsim::Generation::Old;
    options.pacing.eraseTime = 20s;
    OpenOnDevice(std::move(options));
    Press(IdUpdateDsp);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Logged("Ereasing flash............."); }, 20'000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Text(IdPercent) == "2%"; }, 5000));
    const std::size_t linesBefore = LogLines().size();

    const auto pressed = std::chrono::steady_clock::now();
    Press(IdExit);
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, 2s);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_FALSE(dlg->Engine().Running());
    EXPECT_TRUE(device->WaitForConnectionsEnded(1, 5s));
    QTest::qWait(200);
    EXPECT_EQ(LogLines().size(), linesBefore);  // no "Com was closed", nothing later
    EXPECT_EQ(sounds, 0);
}

TEST_F(WindowRunTest, DestroyingTheWindowDuringProgrammingStopsTheWorkerFirst) {
    devsim::Options options;
    options.pacing.wireTime = true;  // about 16 blocks a second at 9600 baud
    OpenOnDevice(std::move(options));
    Press(IdUpdateDsp);
    ASSERT_TRUE(QTest::qWaitFor([] { return Shared().WrittenBlocks.load() >= 3; }, 30'000));
    dlg.reset();
    EXPECT_TRUE(device->WaitForConnectionsEnded(1, 5s));
    EXPECT_GE(device->DspState().lastBlock, 3);
    EXPECT_LT(device->DspState().lastBlock, kDspBlocks);
}

// Commands no control sends, as another program would send them to the window.
TEST_F(WindowRunTest, CommandsClosePortAndCountImageBlocksAreRouted) {
    OpenOnDevice();
    Shared().OperationMode = ModeDsp;
    ASSERT_TRUE(ImageFileExists(kDspImageName));
    auto command = [&](int id) {
        QMetaObject::invokeMethod(dlg.get(), "OnCommand", Q_ARG(int, id));
    };
    command(1002);
    EXPECT_EQ(LogLines().front(), "Total blocks:" + QString::number(kDspBlocks));
    EXPECT_EQ(Shared().TotalBlocks.load(), static_cast<uint32_t>(kDspBlocks));

    command(1012);  // nothing open: nothing to say
    EXPECT_EQ(LogLines().front(), "Total blocks:" + QString::number(kDspBlocks));
    ASSERT_EQ(dlg->Link().OpenPort(device->SlavePath(), false), CDeviceLink::Opening::Opened);
    command(1012);
    EXPECT_EQ(LogLines().front(), "Com was closed");
    EXPECT_TRUE(device->WaitForConnectionsEnded(1, 5s));
}
