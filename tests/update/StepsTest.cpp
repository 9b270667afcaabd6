// The update steps and the procedures' own rules, against a device scripted by the
// test over a pty.

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ScriptedDevice.h"
#include "Sequences.h"
#include "UpdateRig.h"
#include "update/ImageFiles.h"
#include "update/UpdateProcedures.h"

namespace {

using namespace std::chrono_literals;
using Reply = std::function<std::string(const std::string& command)>;

// Answers fixed commands from the table and everything else through `other`; an
// empty answer is silence. "BDR96" is acknowledged, so the link switches to 9600.
ScriptedDevice::Script Answers(std::map<std::string, std::string> fixed, Reply other = {}) {
    fixed.emplace("BDR96", "(ACK)");
    return [fixed, other](const std::string& command) -> std::vector<std::string> {
        auto it = fixed.find(command);
        const std::string reply = it != fixed.end() ? it->second : other ? other(command) : "";
        if (reply.empty()) {
            return {};
        }
        return {reply + "\r"};
    };
}

Reply Always(const std::string& reply) {
    return [reply](const std::string&) { return reply; };
}

// A new loader's block acknowledgement: "SD_0007..." gets "ST4_0007".
std::string AcknowledgeBlock(const std::string& command) {
    return command.rfind("SD_", 0) == 0 ? "ST4_" + command.substr(3, 4) : "";
}

class Steps : public ::testing::Test {
  protected:
    // Runs `work` with the steps on a link opened to a device answering by `script`.
    void Run(ScriptedDevice::Script script, const std::function<void(CUpdateSteps&)>& work) {
        m_device = std::make_unique<ScriptedDevice>(std::move(script), 1ms);
        ASSERT_TRUE(m_rig.RunSteps(m_device->Path(), work));
    }
    // Runs an update procedure on `image` (ImagePath and OperationMode as the
    // dispatcher leaves them).
    void RunProcedure(ScriptedDevice::Script script, void (*procedure)(CUpdateSteps&),
                      const char* name, const std::string& image) {
        m_rig.WriteImage(name, image);
        ASSERT_TRUE(ImageFileExists(name));
        Shared().OperationMode = std::string(name) == kDspImageName ? ModeDsp : ModeMcu;
        Run(std::move(script), procedure);
    }
    // What the device received after the baud switch.
    std::vector<std::string> Commands() const {
        auto commands = m_device->Commands();
        if (!commands.empty() && commands.front() == "BDR96") {
            commands.erase(commands.begin());
        }
        return commands;
    }
    std::vector<std::string> Log() const { return m_rig.Window().Log(); }
    // The procedure's last line (the port's "Com was closed" comes after it).
    std::string LastLine() const {
        const auto log = Log();
        return log.size() >= 2 ? log[log.size() - 2] : std::string();
    }
    bool Logged(const std::string& line) const {
        const auto log = Log();
        return std::find(log.begin(), log.end(), line) != log.end();
    }

    UpdateRig m_rig;
    std::unique_ptr<ScriptedDevice> m_device;
};

const std::string kDspImage =
    ":0400100012345678D8\n:02002000ABCD66\n:040030001111222266\n:00000001FF\n";
const std::string kDspWithCheckpoint = ":0400100012345678D8\n:023FFE0011119F\n";
const std::string kMcuWithCheckpoint = "S2080000000102FFAA4B\nS206023FFE0F0F9C\n";

}  // namespace

TEST(LoaderStatusReply, StateAtCharacterTwoBlockAtCharacterFour) {
    EXPECT_EQ(ParseLoaderStatus("ST3_0123").state, 3);
    EXPECT_EQ(ParseLoaderStatus("ST3_0123").block, 123);
    EXPECT_EQ(ParseLoaderStatus("ST1").state, 1);
    EXPECT_EQ(ParseLoaderStatus("ST1").block, 0);
    EXPECT_EQ(ParseLoaderStatus("ST").state, 0);
    EXPECT_EQ(ParseLoaderStatus("STx_12").state, 0);
    EXPECT_EQ(ParseLoaderStatus("ST-1_0009").state, -1);
    EXPECT_EQ(ParseLoaderStatus("ST3_ 42x").block, 42);
    EXPECT_EQ(ParseLoaderStatus("ST3_99999999999999").block, INT_MAX);  // no overflow
}

TEST_F(Steps, VerifyChecksumAcceptsTheMatchingSumOrALoaderThatDoesNotSum) {
    struct Case {
        Reply reply;
        bool verified;
        int sums;
    };
    int calls = 0;
    const std::vector<Case> cases = {
        {Always("SUM1A2B"), true, 1},
        {Always("SUM1a2b"), true, 1},
        {Always("ERR"), true, 8},
        {Always("SUM1A2"), true, 8},  // too short to be a sum reply
        {Always("SUM0000"), false, 8},
        {Always(""), false, 8},
        {[&calls](const std::string&) { return ++calls < 3 ? "SUM0000" : "SUM1A2B"; }, true, 3},
    };
    for (const Case& c : cases) {
        bool verified = !c.verified;
        Run(Answers({}, c.reply), [&](CUpdateSteps& steps) {
            steps.SetReplyTimeout(100);
            verified = steps.VerifyChecksum(0x1A2B);
        });
        EXPECT_EQ(verified, c.verified);
        EXPECT_EQ(Commands(), Repeat("SUM", c.sums));
    }
}

TEST_F(Steps, SendRecordLineStopsAtARejectionAndRetriesOnce) {
    struct Case {
        std::string reply;
        bool accepted;
        int attempts;
    };
    for (const Case& c : std::vector<Case>{{"SO", true, 1},
                                           {":O", true, 1},
                                           {"Sr", false, 1},
                                           {":r", false, 1},
                                           {"??", false, 2},
                                           {"", false, 2}}) {
        Shared().TotalBlocks = 3;
        Shared().WrittenBlocks = 0;
        bool accepted = !c.accepted;
        Run(Answers({}, Always(c.reply)), [&](CUpdateSteps& steps) {
            steps.SetReplyTimeout(100);
            accepted = steps.SendRecordLine(":00000001FF\r");
        });
        EXPECT_EQ(accepted, c.accepted) << c.reply;
        EXPECT_EQ(Commands(), Repeat(":00000001FF", c.attempts)) << c.reply;
        EXPECT_EQ(Shared().WrittenBlocks, c.accepted ? 1u : 0u);
    }
    EXPECT_EQ(Shared().PercentText.Get(), "33%");  // from the last accepted block: 1 of 3
    EXPECT_EQ(Shared().WrittenBlocksText.Get(), "1");
    EXPECT_EQ(m_rig.Window().ProgressPos(), 1);
}

TEST_F(Steps, PercentageWithoutCountedBlocksIsZero) {
    Shared().TotalBlocks = 0;
    Shared().WrittenBlocks = 4;
    Run(Answers({}), [](CUpdateSteps& steps) { steps.ProgressUpdate(); });
    EXPECT_EQ(Shared().PercentText.Get(), "0%");
}

TEST_F(Steps, ExchangesCompareThePrefixOverItsOwnLength) {
    bool longer = false, other = true;
    LoaderStatus status{9, 9};
    Run(Answers({{"SD_0001x", "ST4_00012"}, {"A", "no"}, {"MCU001", "OK"}}),
        [&](CUpdateSteps& steps) {
            steps.SetReplyTimeout(100);
            longer = steps.ExchangeExpect("SD_0001x\r", "ST4_0001");
            other = steps.ExchangeExpectAny("A\r", "yes", "n0", "No");
            status = steps.QueryLoaderState("MCU001\r");
        });
    EXPECT_TRUE(longer);
    EXPECT_FALSE(other);
    EXPECT_EQ(status.state, 0);
    EXPECT_EQ(status.block, 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"SD_0001x", "A", "A", "MCU001", "MCU001"}));
}

TEST_F(Steps, OldDspLoaderRunsTheWholeHandshakeWhateverTheFirstReply) {
    RunProcedure(
        Answers({{":dsp001", ":st"}, {":dsp", ":st"}, {":efh", ":st"}, {":st", ":R"}, {"SV", "SV"}},
                Always(":O")),
        UpdateDspOldLoader, kDspImageName, kDspImage);
    EXPECT_EQ(Commands(), (std::vector<std::string>{":dsp001", ":dsp", ":efh", ":st",
                                                    ":0400100012345678D8", ":02002000ABCD66",
                                                    ":040030001111222266", ":00000001FF", "SV"}));
    EXPECT_FALSE(m_rig.Window().TimerRunning(ProgramTimer));
    EXPECT_EQ(Shared().UpdatePhase, PhaseFinished);
}

TEST_F(Steps, OldLoaderConnectFailAfterTheEraseLeavesItsTimerRunning) {
    RunProcedure(Answers({{":dsp001", ":dsp"}, {":dsp", ":efh"}}), UpdateDspOldLoader,
                 kDspImageName, kDspImage);
    EXPECT_EQ(Commands(), (std::vector<std::string>{":dsp001", ":dsp", ":efh", ":efh"}));
    EXPECT_EQ(LastLine(), "connect fail");
    EXPECT_TRUE(m_rig.Window().TimerRunning(EraseTimer));
    EXPECT_EQ(Shared().UpdatePhase, PhaseIdle);
}

TEST_F(Steps, NewDspWalkFallsBackToTheBareNameWhileTheStateIsZero) {
    RunProcedure(Answers({}, Always("ST0")), UpdateDspNewLoader, kDspImageName, kDspImage);
    EXPECT_EQ(Commands(), (std::vector<std::string>{":dsp001"} + Repeat(":dsp", 11)));
    EXPECT_EQ(LastLine(), "connect fail");
    EXPECT_EQ(Shared().ReplyTimeout, 4000u);
}

TEST_F(Steps, NewMcuWalkAsksSixTimesAndANegativeStateKeepsItIdle) {
    RunProcedure(Answers({}, Always("ST0")), UpdateMcuNewLoader, kMcuNewImageName,
                 kMcuWithCheckpoint);
    EXPECT_EQ(Commands(), Repeat("MCU001", 6));
    EXPECT_EQ(LastLine(), "connect fail");
    EXPECT_EQ(Shared().ReplyTimeout, 10000u);

    RunProcedure(Answers({}, Always("ST-1_0003")), UpdateDspNewLoader, kDspImageName, kDspImage);
    EXPECT_EQ(Commands(), (std::vector<std::string>{":dsp001"}));
    EXPECT_EQ(LastLine(), "connect fail");
}

TEST_F(Steps, ResumeNumberAppliesAfterAnErase) {
    RunProcedure(Answers({{":dsp001", "ST1_0002"}, {":efh", "ST2"}, {":st", "ST3"}, {"SV", "ST6"}},
                         AcknowledgeBlock),
                 UpdateDspNewLoader, kDspImageName, kDspImage);
    EXPECT_EQ(Commands(),
              (std::vector<std::string>{":dsp001", ":efh", ":st", "SD_0003:040030001111222266",
                                        "SD_0004:00000001FF", "SV"}));
    EXPECT_TRUE(Logged("Ereasing flash............."));
    EXPECT_EQ(Shared().WrittenBlocks, 4u);
    EXPECT_EQ(Shared().UpdatePhase, PhaseFinished);
}

TEST_F(Steps, ImageChangedAfterTheCountSendsNothingThatWasNotCounted) {
    struct Case {
        std::string changed;  // the image as the programming pass finds it (empty: deleted)
        std::vector<std::string> records;
        std::string log;
    };
    const std::vector<Case> cases = {
        {kDspImage + ":040040001111222256\n",
         {":0400100012345678D8", ":02002000ABCD66", ":040030001111222266", ":00000001FF"},
         "Image file changed since it was counted!"},
        {":0400100012345678D8\n:02\x01\n",
         {":0400100012345678D8"},
         "Image file changed since it was counted!"},
        {":0400100012345678D8\n",
         {":0400100012345678D8"},
         "Image file changed since it was counted!"},
        {"", {}, "Can not open image file!"},
    };
    for (const Case& c : cases) {
        const std::string path = m_rig.Images().File(kDspImageName);
        // The device's answer to the erase command changes the image in between.
        auto change = [path, c](const std::string&) {
            if (c.changed.empty()) {
                std::remove(path.c_str());
            } else {
                std::ofstream(path, std::ios::trunc) << c.changed;
            }
            return std::string(":st");
        };
        m_rig.Window().Clear();
        RunProcedure(Answers({{":dsp001", ":dsp"}, {":dsp", ":efh"}, {":st", ":R"}, {"SV", "SV"}},
                             [change](const std::string& command) {
                                 return command == ":efh" ? change(command) : std::string(":O");
                             }),
                     UpdateDspOldLoader, kDspImageName, kDspImage);
        const auto commands = Commands();
        EXPECT_EQ(std::vector<std::string>(commands.begin() + 4, commands.end()), c.records);
        EXPECT_EQ(LastLine(), c.log);
        EXPECT_EQ(Shared().UpdatePhase, PhaseFailed);
    }
}

namespace {

// The reply time-out in force when each command arrived, noted on the device's thread.
class NotedTimeouts {
  public:
    ScriptedDevice::Script Noting(ScriptedDevice::Script script) {
        return [this, script](const std::string& command) {
            if (command != "BDR96") {
                std::lock_guard lock(m_mutex);
                m_lines.push_back(command + " @" + std::to_string(Shared().ReplyTimeout.load()));
            }
            return script(command);
        };
    }
    Lines Get() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

  private:
    mutable std::mutex m_mutex;
    Lines m_lines;
};

}  // namespace

TEST_F(Steps, EachStageRunsWithItsOwnReplyTimeout) {
    struct Case {
        void (*procedure)(CUpdateSteps&);
        const char* image;
        std::string content;
        ScriptedDevice::Script script;
        Lines expected;
    };
    const std::vector<Case> cases = {
        {UpdateDspNewLoader,
         kDspImageName,
         kDspWithCheckpoint,
         Answers({{":dsp001", "ST1_0000"},
                  {":efh", "ST2"},
                  {":st", "ST3"},
                  {"SUM", "SUM68AC"},
                  {"SV", "ST6"}},
                 AcknowledgeBlock),
         {":dsp001 @12000", ":efh @10000", ":st @8000", "SD_0001:0400100012345678D8 @4000",
          "SUM @4000", "SD_0002:023FFE0011119F @4000", "SV @2000"}},
        {UpdateDspOldLoader,
         kDspImageName,
         kDspWithCheckpoint,
         Answers({{":dsp001", ":dsp"},
                  {":dsp", ":efh"},
                  {":efh", ":st"},
                  {":st", ":R"},
                  {"SUM", "SUM68AC"},
                  {"SV", "SV"}},
                 Always(":O")),
         {":dsp001 @10000", ":dsp @10000", ":efh @10000", ":st @10000", ":0400100012345678D8 @2000",
          "SUM @2000", ":023FFE0011119F @2000", "SV @2000"}},
        {UpdateMcuOldLoader,
         kMcuOldImageName,
         kMcuWithCheckpoint,
         Answers({{"mcu001", "mcu"},
                  {"mcu", "se"},
                  {"se", "sp"},
                  {"sp", "SR"},
                  {"SUM", "SUM01AC"},
                  {"SV", "SV"}},
                 Always("SO")),
         {"mcu001 @8000", "mcu @8000", "se @8000", "sp @8000", "S2080000000102FFAA4B @2000",
          "SUM @2000", "S206023FFE0F0F9C @2000", "SV @2000"}},
        {UpdateMcuNewLoader,
         kMcuNewImageName,
         kMcuWithCheckpoint,
         Answers(
             {{"MCU001", "ST1"}, {"SE", "ST2"}, {"SP", "ST3"}, {"SUM", "SUM01AC"}, {"RES", "ST5"}},
             AcknowledgeBlock),
         {"MCU001 @10000", "SE @10000", "SP @10000", "SD_0001S2080000000102FFAA4B @4000",
          "SUM @4000", "SD_0002S206023FFE0F0F9C @4000", "RES @2000"}},
    };
    for (const Case& c : cases) {
        NotedTimeouts noted;
        RunProcedure(noted.Noting(c.script), c.procedure, c.image, c.content);
        EXPECT_EQ(noted.Get(), c.expected);
        EXPECT_EQ(Shared().UpdatePhase, PhaseFinished);
    }
}

TEST_F(Steps, AfterAFailedVerificationTheClosingCommandWaitsAsEachProcedureSays) {
    struct Case {
        void (*procedure)(CUpdateSteps&);
        const char* image;
        std::string content;
        ScriptedDevice::Script script;
        std::string closing;
    };
    const std::vector<Case> cases = {
        {UpdateDspOldLoader, kDspImageName, kDspWithCheckpoint,
         Answers({{":dsp001", ":dsp"},
                  {":dsp", ":efh"},
                  {":efh", ":st"},
                  {":st", ":R"},
                  {"SUM", "SUM0000"},
                  {"SV", "SV"}},
                 Always(":O")),
         "SV @2000"},
        {UpdateMcuOldLoader, kMcuOldImageName, kMcuWithCheckpoint,
         Answers({{"mcu001", "mcu"},
                  {"mcu", "se"},
                  {"se", "sp"},
                  {"sp", "SR"},
                  {"SUM", "SUM0000"},
                  {"SV", "SV"}},
                 Always("SO")),
         "SV @1000"},
        {UpdateDspNewLoader, kDspImageName, kDspWithCheckpoint,
         Answers({{":dsp001", "ST3"}, {"SUM", "SUM0000"}, {"SV", "ST6"}}, AcknowledgeBlock),
         "SV @1000"},
        {UpdateMcuNewLoader, kMcuNewImageName, kMcuWithCheckpoint,
         Answers({{"MCU001", "ST3"}, {"SUM", "SUM0000"}, {"RES", "ST5"}}, AcknowledgeBlock),
         "RES @1000"},
    };
    for (const Case& c : cases) {
        NotedTimeouts notedTimeouts;
        RunProcedure(notedTimeouts.Noting(c.script), c.procedure, c.image, c.content);
        const Lines noted = notedTimeouts.Get();
        ASSERT_GE(noted.size(), 9u);
        // Eight sum requests, then the closing command once (it was accepted).
        EXPECT_EQ(Lines(noted.end() - 9, noted.end() - 1), Repeat(noted[noted.size() - 2], 8));
        EXPECT_EQ(noted.back(), c.closing);
        EXPECT_EQ(LastLine(), "Verify flash data fail!");
        EXPECT_EQ(Shared().UpdatePhase, PhaseFailed);
    }
}

TEST_F(Steps, DspCheckpointAtOrBelowTheResumeNumberIsNotVerified) {
    RunProcedure(Answers({{":dsp001", "ST3_0002"}, {"SV", "ST6"}}, AcknowledgeBlock),
                 UpdateDspNewLoader, kDspImageName, kDspWithCheckpoint + ":00000001FF\n");
    EXPECT_EQ(Commands(), (Lines{":dsp001", "SD_0003:00000001FF", "SV"}));
    EXPECT_FALSE(Logged("Verify flash data..............."));
    EXPECT_EQ(Shared().WrittenBlocks, 3u);
}
