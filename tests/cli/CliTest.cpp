#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QUuid>
#include <string>
#include <vector>

#include "CliFixture.h"
#include "cli/CliOptions.h"
#include "tools/devsim/DeviceSimulator.h"

namespace {

TEST_F(CliTest, AVersionReadPrintsTheReplyAndSucceeds) {
    auto& device = StartDevice();
    const CliRun run = Run(Arguments(device.SlavePath(), "--read-version"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, (Lines{"Connecting..........", "TOVRANE-SIM V1.00", "TOVRANE-SIM V1.00",
                              "Com was closed"}));
    EXPECT_TRUE(run.err.empty()) << "no progress line when stderr is not a terminal";
}

TEST_F(CliTest, AShortVersionReplyFails) {
    auto& device = StartDevice(devsim::Generation::New, devsim::Generation::New, "V1.00-AB");
    const CliRun run = Run(Arguments(device.SlavePath(), "--read-version"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, (Lines{"Connecting..........", "Read version fail", "Com was closed"}));
}

TEST_F(CliTest, FullUpdatesOfBothProcessorsPrintTheLogInOrderAndSucceed) {
    auto& device = StartDevice();
    const CliRun mcu = Run(Arguments(device.SlavePath(), "--update-mcu"));
    EXPECT_EQ(mcu.exitCode, 0) << mcu.err;
    EXPECT_EQ(WithoutTimes(mcu.out),
              (Lines{device.SlavePath() + " was opened!", "Connecting..........",
                     images.File("mcu_new.mot"), "Total blocks:5", "Ereasing flash.............",
                     "Ereased flash ok!", "Erase case time:#ms", "Program flash..........",
                     "Verify flash data...............", "Verify flash data ok!",
                     "Reflash  case time:#ms", "Com was closed"}));
    EXPECT_EQ(device.McuState().stage, 1) << "the closing command ended the update";

    const CliRun dsp = Run(Arguments(device.SlavePath(), "--update-dsp"));
    EXPECT_EQ(dsp.exitCode, 0) << dsp.err;
    ASSERT_FALSE(dsp.out.empty());
    EXPECT_EQ(dsp.out[3], "Total blocks:6");
    EXPECT_EQ(dsp.out.back(), "Com was closed");
}

TEST_F(CliTest, AFailedVerificationOrWriteExitsWithOne) {
    auto& device = StartDevice();
    devsim::Faults wrongSum;
    wrongSum.wrongSum = true;
    device.SetFaults(wrongSum);
    const CliRun verify = Run(Arguments(device.SlavePath(), "--update-mcu"));
    EXPECT_EQ(verify.exitCode, 1);
    EXPECT_NE(std::find(verify.out.begin(), verify.out.end(), "Verify flash data fail!"),
              verify.out.end());

    devsim::Faults reject;
    reject.rejectBlock = 2;
    device.SetFaults(reject);
    device.SetDspState({});
    const CliRun write = Run(Arguments(device.SlavePath(), "--update-dsp"));
    EXPECT_EQ(write.exitCode, 1);
    EXPECT_NE(std::find(write.out.begin(), write.out.end(), "Write fail!"), write.out.end());
}

TEST_F(CliTest, AMissingImageOrPortExitsWithOne) {
    auto& device = StartDevice();
    std::filesystem::remove(images.File("mcu_new.mot"));
    const CliRun missing = Run(Arguments(device.SlavePath(), "--update-mcu"));
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(std::find(missing.out.begin(), missing.out.end(), "mcu_new.mot can not found!"),
              missing.out.end());

    const CliRun noPort = Run(Arguments("/dev/ttyUSB-not-there", "--read-version"));
    EXPECT_EQ(noPort.exitCode, 1);
    ASSERT_FALSE(noPort.out.empty());
    EXPECT_EQ(noPort.out[0], "Cannot open serial port");
}

TEST_F(CliTest, UsageErrorsExitWithTwoAndSayWhy) {
    const CliRun noPort = Run({"--update-dsp"});
    EXPECT_EQ(noPort.exitCode, 2);
    EXPECT_NE(noPort.err.find("--port"), std::string::npos);
    EXPECT_EQ(Run({"--port", "/dev/null", "--update-dsp", "--read-version"}).exitCode, 2);
    EXPECT_EQ(Run({"--port", "/dev/null", "--flash"}).exitCode, 2);
    EXPECT_EQ(Run({"--port"}).exitCode, 2);
    const CliRun help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_FALSE(help.out.empty());
}

TEST_F(CliTest, AnInterruptedUpdateStopsClosesThePortAndResumesOnTheNextRun) {
    auto& device = StartDevice();
    devsim::Pacing slow;
    slow.replyDelay = std::chrono::milliseconds(300);
    device.SetPacing(slow);
    QProcess first;
    first.start(TOVRANE_CLI_PATH, Arguments(device.SlavePath(), "--update-mcu"));
    // Wait for the second block, then interrupt.
    bool secondBlock = false;
    for (int i = 0; i < 200 && !secondBlock; ++i) {
        device.WaitForCommands(device.Commands().size() + 1, std::chrono::milliseconds(100));
        for (const auto& record : device.Commands()) {
            secondBlock = secondBlock || record.text.rfind("SD_0002", 0) == 0;
        }
    }
    ASSERT_TRUE(secondBlock);
    ::kill(static_cast<pid_t>(first.processId()), SIGINT);
    const CliRun interrupted = Finish(first);
    EXPECT_EQ(interrupted.exitCode, 130);
    ASSERT_FALSE(interrupted.out.empty());
    EXPECT_EQ(interrupted.out.back().rfind("Interrupted", 0), 0u) << interrupted.out.back();
    EXPECT_TRUE(device.WaitForConnectionsEnded(1, std::chrono::seconds(5)));
    const int stored = device.McuState().lastBlock;
    EXPECT_GE(stored, 1);

    device.SetPacing({});
    device.ClearLog();
    const CliRun second = Run(Arguments(device.SlavePath(), "--update-mcu"));
    EXPECT_EQ(second.exitCode, 0) << second.err;
    std::string firstBlockSent;
    for (const auto& record : device.Commands()) {
        if (record.text.rfind("SD_", 0) == 0) {
            firstBlockSent = record.text.substr(0, 7);
            break;
        }
    }
    char expected[16];
    std::snprintf(expected, sizeof expected, "SD_%04d", stored + 1);
    EXPECT_EQ(firstBlockSent, expected);
}

TEST_F(CliTest, TwoPortsAreUpdatedAtTheSameTime) {
    auto& a = StartDevice();
    auto& b = StartDevice();
    QProcess first;
    QProcess second;
    first.start(TOVRANE_CLI_PATH, Arguments(a.SlavePath(), "--update-mcu"));
    second.start(TOVRANE_CLI_PATH, Arguments(b.SlavePath(), "--update-dsp"));
    const CliRun runA = Finish(first);
    const CliRun runB = Finish(second);
    EXPECT_EQ(runA.exitCode, 0) << runA.err;
    EXPECT_EQ(runB.exitCode, 0) << runB.err;
    EXPECT_EQ(a.McuState().stage, 1);
    EXPECT_EQ(b.DspState().stage, 1);
}

TEST_F(CliTest, CheckImagesJudgesEveryImagePresentWithoutADevice) {
    const QStringList check = {"--check-images", "--images",
                               QString::fromStdString(images.Path().string())};
    const CliRun good = Run(check);
    EXPECT_EQ(good.exitCode, 0);
    ASSERT_EQ(good.out.size(), 3u);
    EXPECT_EQ(good.out[0].rfind("dsp.hex ", 0), 0u) << good.out[0];
    for (const std::string& line : good.out) {
        EXPECT_NE(line.find("checkpoint yes"), std::string::npos) << line;
        EXPECT_EQ(line.substr(line.size() - 9), " accepted") << line;
    }

    images.Write("mcu_old.mot", "S00600004844521B\nS2080000000102FFAA4C\n");
    images.Write("dsp.hex", ":0400100012345678D8\n");
    std::filesystem::remove(images.File("mcu_new.mot"));
    const CliRun bad = Run(check + QStringList{"--require-verify"});
    EXPECT_EQ(bad.exitCode, 1);
    ASSERT_EQ(bad.out.size(), 2u);
    EXPECT_NE(bad.out[0].find("refused: no checkpoint record"), std::string::npos) << bad.out[0];
    EXPECT_NE(bad.out[1].find("refused: Image line 2: record checksum wrong!"), std::string::npos)
        << bad.out[1];
}

TEST_F(CliTest, JsonRunsEndWithOneResultThatSaysWhatHappened) {
    auto& device = StartDevice();
    const QJsonObject finished =
        ResultOf(Run(Arguments(device.SlavePath(), "--update-mcu") + QStringList{"--json"}));
    EXPECT_EQ(finished["outcome"], "finished");
    EXPECT_EQ(finished["exit"], 0);
    EXPECT_EQ(finished["operation"], "mcu");
    EXPECT_EQ(finished["loader"], "new");
    EXPECT_EQ(finished["image"], QString::fromStdString(images.File("mcu_new.mot")));
    QFile image(QString::fromStdString(images.File("mcu_new.mot")));
    ASSERT_TRUE(image.open(QIODevice::ReadOnly));
    EXPECT_EQ(
        finished["sha256"],
        QString(QCryptographicHash::hash(image.readAll(), QCryptographicHash::Sha256).toHex()));
    EXPECT_EQ(finished["blocks_written"], 5);
    EXPECT_EQ(finished["blocks_total"], 5);
    EXPECT_EQ(finished["verified"], true);
    EXPECT_TRUE(finished["program_ms"].isDouble());
    EXPECT_TRUE(finished["detail"].isNull());
    EXPECT_FALSE(QUuid::fromString(finished["run_id"].toString()).isNull());

    devsim::Faults wrongSum;
    wrongSum.wrongSum = true;
    device.SetFaults(wrongSum);
    const QJsonObject verify =
        ResultOf(Run(Arguments(device.SlavePath(), "--update-dsp") + QStringList{"--json"}));
    EXPECT_EQ(verify["outcome"], "verify_fail");
    EXPECT_EQ(verify["exit"], 1);
    EXPECT_EQ(verify["verified"], false);
    EXPECT_EQ(verify["blocks_written"], 3) << "the checkpoint is the fourth block";
    EXPECT_TRUE(verify["detail"].toString().startsWith("image sum "))
        << "both sums, as it answered";
    EXPECT_NE(verify["run_id"], finished["run_id"]) << "every run has its own id";

    device.SetFaults({});
    device.ClearLog();
    devsim::Pacing slow;
    slow.replyDelay = std::chrono::milliseconds(300);
    device.SetPacing(slow);
    QProcess interrupted;
    interrupted.start(TOVRANE_CLI_PATH,
                      Arguments(device.SlavePath(), "--update-mcu") + QStringList{"--json"});
    ASSERT_TRUE(device.WaitForCommands(4, std::chrono::seconds(20)));
    ::kill(static_cast<pid_t>(interrupted.processId()), SIGTERM);
    const CliRun stopped = Finish(interrupted);
    EXPECT_EQ(stopped.exitCode, 143);
    const QJsonObject result = ResultOf(stopped);
    EXPECT_EQ(result["outcome"], "interrupted");
    EXPECT_EQ(result["exit"], 143);
    EXPECT_TRUE(result["detail"].isNull()) << "the outcome says why";
}

// A FIFO waits for a writer and /dev/zero never ends: neither is read, by the check
// or by an update, which refuse it at once as a file that cannot be opened.
TEST_F(CliTest, AFifoOrDeviceNamedLikeAnImageIsRefusedAtOnce) {
    constexpr int kPromptlyMs = 10000;
    const std::string image = images.File("dsp.hex");
    const QStringList check = {"--check-images", "--images",
                               QString::fromStdString(images.Path().string())};
    for (const bool fifo : {true, false}) {
        std::filesystem::remove(image);
        if (fifo) {
            ASSERT_EQ(::mkfifo(image.c_str(), 0644), 0);
        } else {
            std::filesystem::create_symlink("/dev/zero", image);
        }
        const CliRun plain = Run(check, kPromptlyMs);
        EXPECT_EQ(plain.exitCode, 1);
        ASSERT_FALSE(plain.out.empty());
        EXPECT_EQ(plain.out[0].rfind("dsp.hex ", 0), 0u) << plain.out[0];
        EXPECT_TRUE(plain.out[0].ends_with("  refused: Can not open image file!")) << plain.out[0];

        const CliRun json = Run(check + QStringList{"--json"}, kPromptlyMs);
        EXPECT_EQ(json.exitCode, 1);
        ASSERT_FALSE(json.out.empty());
        const QJsonObject dsp =
            QJsonDocument::fromJson(QByteArray::fromStdString(json.out[0])).object();
        EXPECT_EQ(dsp["name"], "dsp.hex");
        EXPECT_EQ(dsp["accepted"], false);
        EXPECT_EQ(dsp["reason"], "Can not open image file!");
        EXPECT_TRUE(dsp["sha256"].isNull());
    }

    std::filesystem::remove(image);
    ASSERT_EQ(::mkfifo(image.c_str(), 0644), 0);
    auto& device = StartDevice();
    const CliRun update =
        Run(Arguments(device.SlavePath(), "--update-dsp") + QStringList{"--json"}, kPromptlyMs);
    EXPECT_EQ(update.exitCode, 1);
    EXPECT_NE(std::find_if(update.out.begin(), update.out.end(),
                           [](const std::string& line) {
                               return line.find("\"Can not open image file!\"") != line.npos;
                           }),
              update.out.end());
    EXPECT_EQ(ResultOf(update)["outcome"], "image_refused");
}

TEST_F(CliTest, TheSerialLibrarysTracesReachStderrOnlyWithTrace) {
    // Two devices that vanish after the first block, one run each at the same time.
    devsim::Faults hangUp;
    hangUp.hangUpAfterBlocks = 1;
    auto& lost = StartDevice();
    auto& alsoLost = StartDevice();
    lost.SetFaults(hangUp);
    alsoLost.SetFaults(hangUp);
    QProcess plain;
    QProcess withTrace;
    plain.start(TOVRANE_CLI_PATH, Arguments(lost.SlavePath(), "--update-mcu"));
    withTrace.start(TOVRANE_CLI_PATH,
                    Arguments(alsoLost.SlavePath(), "--update-mcu") + QStringList{"--trace"});
    const CliRun quiet = Finish(plain);
    const CliRun traced = Finish(withTrace);
    EXPECT_EQ(quiet.exitCode, 1);
    EXPECT_TRUE(quiet.err.empty()) << quiet.err;
    EXPECT_NE(traced.err.find("CSerial::"), std::string::npos) << traced.err;
}

TEST(CliOptions, ParsesOneOperationWithItsPortAndImages) {
    const CliOptions options =
        ParseCliArguments({"--images", "/srv/img", "--update-mcu", "--port", "/dev/ttyUSB0"});
    EXPECT_EQ(options.action, CliOptions::Action::Run);
    EXPECT_EQ(options.operation, CliOptions::Operation::UpdateMcu);
    EXPECT_EQ(options.port, "/dev/ttyUSB0");
    EXPECT_EQ(options.imageDirectory, "/srv/img");
    EXPECT_EQ(ParseCliArguments({"--port", "/dev/x"}).action, CliOptions::Action::UsageError);
    EXPECT_EQ(ParseCliArguments({"--version"}).action, CliOptions::Action::Version);
}

}  // namespace
