// Whole operations through the engine, the link and a pty against the device
// simulator: the exact commands the device receives and the lines the operator sees.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "Sequences.h"
#include "SimulatedRun.h"
#include "UpdateRig.h"
#include "tools/devsim/DeviceSimulator.h"
#include "update/ImageRecords.h"

namespace {

using namespace std::chrono_literals;
using devsim::Generation;
using devsim::LoaderState;

// dsp.hex: an address record, two data records, the checkpoint record, one more
// data record and the end record. Every line is a block.
const Lines kDspLines = {
    ":020000040000FA",      // 1: not a data record, not summed
    ":0400100012345678D8",  // 2: 0x68AC
    ":02002000ABCD66",      // 3: 0xABCD
    ":023FFE0011119F",      // 4: the checkpoint record, 0x1111
    ":040030001111222266",  // 5: 0x3333
    ":00000001FF",          // 6: end record
};

// An MCU image: blocks are the S2 records outside 0xC000-0x13FFF.
const Lines kMcuLines = {
    "S00600004844521B",      // header, never sent
    "S2080000000102FFAA4B",  // block 1: 0x1AC
    "S20800C0000102FFAA8B",  // skipped range
    "S2060000100A0BD4",      // block 2: 0x15
    "S206023FFE0F0F9C",      // block 3: the checkpoint record, 0x1E
    "S2060140000102B5",      // block 4: 0x03
    "S804000000FB",          // end, never sent
};

std::string Join(const Lines& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

Lines Blocks(const char* prefix, const Lines& lines, std::size_t first, std::size_t last) {
    Lines blocks;
    for (std::size_t n = first; n <= last; ++n) {
        char number[16];
        std::snprintf(number, sizeof number, "%s%04zu", prefix, n);
        blocks.push_back(number + lines[n - 1]);
    }
    return blocks;
}

Lines McuBlockLines() {
    return {kMcuLines[1], kMcuLines[3], kMcuLines[4], kMcuLines[5]};
}

// Times vary from run to run: "Erase case time:123ms" reads "Erase case time:#ms".
Lines WithoutTimes(Lines log) {
    static const std::regex time("^(Erase case time:|Reflash  case time:)[0-9]+ms$");
    for (std::string& line : log) {
        line = std::regex_replace(line, time, "$1#ms");
    }
    return log;
}

class EndToEnd : public ::testing::Test {
  protected:
    void Launch(Generation dsp, Generation mcu, const std::string& version = "TOVRANE-SIM V1.00") {
        devsim::Options options = DeviceOptions(dsp, mcu, version);
        m_sim = std::make_unique<devsim::DeviceSimulator>(std::move(options));
        ASSERT_TRUE(m_sim->Start()) << m_sim->LastError();
    }
    bool Press(OperationModeValue mode) { return PressAndAwaitClose(m_rig, *m_sim, mode); }

    // The commands the device acted on; a command sent at the wrong speed fails the test.
    Lines Commands() const {
        Lines texts;
        for (const devsim::CommandRecord& record : m_sim->Commands()) {
            EXPECT_FALSE(record.noise) << record.text;
            texts.push_back(record.text);
        }
        return texts;
    }
    Lines Log() const { return WithoutTimes(m_rig.Window().Log()); }
    std::string Opened() const { return m_sim->SlavePath() + " was opened!"; }
    std::string ImagePathLine(const char* name) const { return m_rig.Images().File(name); }

    // The lines of a complete update, from the image path to the time of the whole run.
    Lines UpdateLog(const char* image, int blocks) const {
        return {ImagePathLine(image),
                "Total blocks:" + std::to_string(blocks),
                "Ereasing flash.............",
                "Ereased flash ok!",
                "Erase case time:#ms",
                "Program flash..........",
                "Verify flash data...............",
                "Verify flash data ok!",
                "Reflash  case time:#ms"};
    }

    UpdateRig m_rig;
    std::unique_ptr<devsim::DeviceSimulator> m_sim;
};

std::vector<std::pair<int, bool>> ButtonsLockedThenFreed() {
    return {{IdUpdateDsp, false}, {IdUpdateMcu, false}, {IdReadVersion, false},
            {IdUpdateDsp, true},  {IdUpdateMcu, true},  {IdReadVersion, true}};
}

}  // namespace

TEST_F(EndToEnd, DspUpdateThroughTheNewLoader) {
    Launch(Generation::New, Generation::None);
    m_rig.WriteImage("dsp.hex", Join(kDspLines));
    ASSERT_TRUE(Press(ModeDsp));

    EXPECT_EQ(Commands(), (Lines{"BDR96", ":dsp001", ":dsp001", ":dsp001", ":efh", ":st"} +
                           Blocks("SD_", kDspLines, 1, 3) + Lines{"SUM"} +
                           Blocks("SD_", kDspLines, 4, 6) + Lines{"SV"}));
    EXPECT_EQ(Log(), (Lines{Opened(), "Connecting.........."} + UpdateLog("dsp.hex", 6) +
                      Lines{"Com was closed"}));
    EXPECT_EQ(m_rig.Engine().LastOutcome(), OperationOutcome::Finished);
    EXPECT_EQ(Shared().UpdatePhase, PhaseFinished);
    EXPECT_EQ(Shared().WrittenBlocks, 6u);
    EXPECT_EQ(Shared().PercentText.Get(), "100%");
    EXPECT_EQ(m_rig.Window().ProgressRange(), std::make_pair(0, 6));
    EXPECT_EQ(m_rig.Window().EnableCalls(), ButtonsLockedThenFreed());
    EXPECT_FALSE(m_rig.Window().TimerRunning(EraseTimer));
    EXPECT_FALSE(m_rig.Window().TimerRunning(ProgramTimer));
    EXPECT_EQ(Shared().ReplyTimeout, 2000u);
}

TEST_F(EndToEnd, DspUpdateThroughTheOldLoader) {
    Launch(Generation::Old, Generation::None);
    m_rig.WriteImage("dsp.hex", Join(kDspLines));
    ASSERT_TRUE(Press(ModeDsp));

    Lines lines = kDspLines;
    EXPECT_EQ(Commands(), (Lines{"BDR96"} + Repeat(":dsp001", 8) +
                           Lines{":dsp", ":efh", ":st", lines[0], lines[1], lines[2], "SUM",
                                 lines[3], lines[4], lines[5], "SV"}));
    EXPECT_EQ(Log(), (Lines{Opened(), "Connecting.........."} + UpdateLog("dsp.hex", 6) +
                      Lines{"Com was closed"}));
    EXPECT_EQ(m_rig.Engine().LastOutcome(), OperationOutcome::Finished);
    EXPECT_EQ(Shared().WrittenBlocks, 6u);
}

TEST_F(EndToEnd, McuUpdateThroughTheNewLoader) {
    Launch(Generation::None, Generation::New);
    m_rig.WriteImage("mcu_new.mot", Join(kMcuLines));
    ASSERT_TRUE(Press(ModeMcu));

    const auto blocks = McuBlockLines();
    EXPECT_EQ(Commands(), (Lines{"BDR96", "MCU001", "MCU001", "MCU001", "SE", "SP"} +
                           Blocks("SD_", blocks, 1, 2) + Lines{"SUM"} +
                           Blocks("SD_", blocks, 3, 4) + Lines{"RES"}));
    EXPECT_EQ(Log(), (Lines{Opened(), "Connecting.........."} + UpdateLog("mcu_new.mot", 4) +
                      Lines{"Com was closed"}));
    EXPECT_EQ(m_rig.Engine().LastOutcome(), OperationOutcome::Finished);
    EXPECT_EQ(m_sim->McuState().stage, 1);  // the closing command ended the update
}

TEST_F(EndToEnd, McuUpdateThroughTheOldLoader) {
    Launch(Generation::None, Generation::Old);
    m_rig.WriteImage("mcu_old.mot", Join(kMcuLines));
    ASSERT_TRUE(Press(ModeMcu));

    const auto b = McuBlockLines();
    EXPECT_EQ(Commands(),
              (Lines{"BDR96", "MCU001", "MCU001", "MCU001", "MCU001", "mcu001", "mcu001", "mcu001",
                     "mcu001", "mcu", "se", "sp", b[0], b[1], "SUM", b[2], b[3], "SV"}));
    EXPECT_EQ(Log(), (Lines{Opened(), "Connecting.........."} + UpdateLog("mcu_old.mot", 4) +
                      Lines{"Com was closed"}));
    EXPECT_EQ(m_rig.Engine().LastOutcome(), OperationOutcome::Finished);
}

TEST_F(EndToEnd, NewLoadersResumeAfterTheBlockTheyReport) {
    // The DSP holds lines 1 and 2 (and their sum): the run skips erase and start,
    // sends from line 3 on and still verifies against the whole image's sum.
    Launch(Generation::New, Generation::New);
    m_sim->SetDspState(LoaderState{3, 2, DspRecordSum(kDspLines[1])});
    m_rig.WriteImage("dsp.hex", Join(kDspLines));
    ASSERT_TRUE(Press(ModeDsp));
    EXPECT_EQ(Commands(),
              (Lines{"BDR96", ":dsp001", ":dsp001", ":dsp001"} + Blocks("SD_", kDspLines, 3, 3) +
               Lines{"SUM"} + Blocks("SD_", kDspLines, 4, 6) + Lines{"SV"}));
    auto log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "Ereasing flash............."), 0);
    EXPECT_EQ(std::count(log.begin(), log.end(), "Ereased flash ok!"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "Verify flash data ok!"), 1);
    EXPECT_EQ(Shared().WrittenBlocks, 6u);

    // The MCU reports its checkpoint block as the last one it holds: the sum is
    // still verified there, the block is not sent again.
    m_sim->ClearLog();
    m_rig.Window().Clear();
    const auto blocks = McuBlockLines();
    m_sim->SetMcuState(LoaderState{
        3, 3, static_cast<uint16_t>(McuRecordSum(blocks[0]) + McuRecordSum(blocks[1]))});
    m_rig.WriteImage("mcu_new.mot", Join(kMcuLines));
    ASSERT_TRUE(Press(ModeMcu));
    EXPECT_EQ(Commands(), (Lines{"BDR96", "MCU001", "MCU001", "MCU001", "SUM"} +
                           Blocks("SD_", blocks, 4, 4) + Lines{"RES"}));
    log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "Verify flash data ok!"), 1);
    EXPECT_EQ(m_rig.Engine().LastOutcome(), OperationOutcome::Finished);
}

TEST_F(EndToEnd, NewLoadersResumeFromStageTwo) {
    Launch(Generation::New, Generation::New);
    m_sim->SetDspState(LoaderState{2, 0, 0});
    m_rig.WriteImage("dsp.hex", Join(kDspLines));
    ASSERT_TRUE(Press(ModeDsp));
    EXPECT_EQ(Commands(), (Lines{"BDR96", ":dsp001", ":dsp001", ":dsp001", ":st"} +
                           Blocks("SD_", kDspLines, 1, 3) + Lines{"SUM"} +
                           Blocks("SD_", kDspLines, 4, 6) + Lines{"SV"}));

    m_sim->ClearLog();
    m_sim->SetMcuState(LoaderState{2, 0, 0});
    m_rig.WriteImage("mcu_new.mot", Join(kMcuLines));
    ASSERT_TRUE(Press(ModeMcu));
    const auto blocks = McuBlockLines();
    EXPECT_EQ(Commands(),
              (Lines{"BDR96", "MCU001", "MCU001", "MCU001", "SP"} + Blocks("SD_", blocks, 1, 2) +
               Lines{"SUM"} + Blocks("SD_", blocks, 3, 4) + Lines{"RES"}));
    EXPECT_EQ(m_rig.Engine().LastOutcome(), OperationOutcome::Finished);
}

TEST_F(EndToEnd, EveryCheckpointRecordIsVerifiedAndSummedAsEachLoaderDoes) {
    // Two checkpoint records: the second sum only matches the device's if the old
    // loader summed the first one after verifying it and the new loader did not.
    const Lines dsp = {":0400100012345678D8", ":023FFE0011119F", ":020000040001F9",
                       ":023FFE0022227D",     ":023ffe0033335B", ":00000001FF"};
    for (Generation generation : {Generation::Old, Generation::New}) {
        Launch(generation, Generation::None);
        m_rig.Window().Clear();
        m_rig.WriteImage("dsp.hex", Join(dsp));
        ASSERT_TRUE(Press(ModeDsp));
        const auto commands = Commands();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "SUM"),
                  2);  // not the lower-case one
        const auto log = Log();
        EXPECT_EQ(std::count(log.begin(), log.end(), "Verify flash data ok!"), 2);
        EXPECT_EQ(m_rig.Engine().LastOutcome(), OperationOutcome::Finished);
    }
    // MCU: character 4 of the address is not compared; lower case is no checkpoint;
    // the old loader also verifies at a non-S2 line, the new one ignores it.
    const Lines mcu = {"S2060000100A0BD4", "S206023FFE0F0F9C", "S105023FFE00BB",
                       "S206123FFE0101A8", "S206F23FFE0202C6", "S206023ffe0303B4"};
    for (Generation generation : {Generation::Old, Generation::New}) {
        Launch(Generation::None, generation);
        m_rig.Window().Clear();
        const char* image = generation == Generation::Old ? "mcu_old.mot" : "mcu_new.mot";
        m_rig.WriteImage(image, Join(mcu));
        ASSERT_TRUE(Press(ModeMcu));
        const auto commands = Commands();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "SUM"),
                  generation == Generation::Old ? 4 : 3);
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "S105023FFE00BB"), 0);
        EXPECT_EQ(m_rig.Engine().LastOutcome(), OperationOutcome::Finished);
    }
}

TEST_F(EndToEnd, WrongSumFailsTheVerificationAndClosesTheUpdate) {
    Launch(Generation::New, Generation::Old);
    devsim::Faults faults;
    faults.wrongSum = true;
    m_sim->SetFaults(faults);
    m_rig.WriteImage("dsp.hex", Join(kDspLines));
    ASSERT_TRUE(Press(ModeDsp));
    EXPECT_EQ(Commands(), (Lines{"BDR96", ":dsp001", ":dsp001", ":dsp001", ":efh", ":st"} +
                           Blocks("SD_", kDspLines, 1, 3) + Repeat("SUM", 8) + Lines{"SV"}));
    const auto log = Log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[log.size() - 3], "Verify flash data...............");
    EXPECT_EQ(log[log.size() - 2], "Verify flash data fail!");
    EXPECT_EQ(Shared().UpdatePhase, PhaseFailed);
    EXPECT_EQ(Shared().ReplyTimeout, 1000u);
    EXPECT_EQ(m_rig.Engine().LastOutcome(), OperationOutcome::Failed);
    // 0x68AC + 0xABCD, and the device's sum one more.
    EXPECT_EQ(m_rig.Engine().LastReport().detail, "image sum 1479, device sum 147A");

    m_sim->ClearLog();
    m_rig.WriteImage("mcu_old.mot", Join(kMcuLines));
    ASSERT_TRUE(Press(ModeMcu));
    const auto commands = Commands();
    ASSERT_GE(commands.size(), 9u);
    EXPECT_EQ(Lines(commands.end() - 9, commands.end()), (Repeat("SUM", 8) + Lines{"SV"}));
}

TEST_F(EndToEnd, RejectedOrUnansweredBlockEndsWithoutTheClosingCommand) {
    Launch(Generation::Old, Generation::New);
    devsim::Faults reject;
    reject.rejectBlock = 2;
    m_sim->SetFaults(reject);
    m_rig.WriteImage("dsp.hex", Join(kDspLines));
    ASSERT_TRUE(Press(ModeDsp));
    auto commands = Commands();
    EXPECT_EQ(Lines(commands.end() - 3, commands.end()),
              (Lines{":st", kDspLines[0], kDspLines[1]}));  // one attempt
    auto log = Log();
    EXPECT_EQ(log[log.size() - 2], "Write fail!");
    EXPECT_EQ(Shared().UpdatePhase, PhaseFailed);
    EXPECT_EQ(m_rig.Engine().LastReport().detail, "block 2 of 6 refused: :r");

    // The new MCU loader stops answering after two blocks: two attempts, no "RES".
    m_sim->ClearLog();
    m_rig.Window().Clear();
    devsim::Faults drop;
    drop.dropAfterBlocks = 2;
    m_sim->SetFaults(drop);
    m_rig.WriteImage("mcu_new.mot", Join(kMcuLines));
    ASSERT_TRUE(Press(ModeMcu));
    commands = Commands();
    const std::string third = "SD_0003" + McuBlockLines()[2];
    EXPECT_EQ(Lines(commands.end() - 3, commands.end()), (Lines{"SUM", third, third}));
    log = Log();
    EXPECT_EQ(log[log.size() - 2], "Write fail!");
    EXPECT_EQ(m_rig.Engine().LastOutcome(), OperationOutcome::Failed);
    EXPECT_EQ(m_rig.Engine().LastReport().detail, "block 3 of 4: no reply");
}
