#include <gtest/gtest.h>

#include "link/SharedState.h"
#include "update/ProgressDisplay.h"

namespace {

class ProgressDisplayTest : public ::testing::Test {
  protected:
    void SetUp() override { Shared().Reset(); }

    // Programming that began at clock value `start`, observed `seconds` later.
    void ProgrammingFor(uint32_t start, uint32_t seconds, uint32_t written, uint32_t total) {
        Shared().ProgramStartTime = start;
        Shared().WrittenBlocks = written;
        Shared().TotalBlocks = total;
        Shared().UpdatePhase = PhaseProgramming;
        EXPECT_FALSE(display.OnProgramTick(start + seconds * 1000 + 999));
    }

    CProgressDisplay display;
};

TEST_F(ProgressDisplayTest, TheEraseBarClimbsOnePercentATickAndStopsAt100) {
    for (int tick = 1; tick <= 100; ++tick) {
        ASSERT_EQ(display.OnEraseTick(), tick);
    }
    EXPECT_EQ(display.OnEraseTick(), 100);
    EXPECT_EQ(display.OnEraseTick(), 100);
    EXPECT_EQ(Shared().PercentText.Get(), "100%");
}

TEST_F(ProgressDisplayTest, StatisticsFromWrittenBlocksAndElapsedTime) {
    ProgrammingFor(5000, 20, 400, 1000);
    EXPECT_EQ(display.SpeedText, "20 Blocks/Sec");
    EXPECT_EQ(display.RemainingText, "00:30");
    EXPECT_EQ(display.ElapsedText, "00:20");
}

TEST_F(ProgressDisplayTest, ElapsedTimeIsRightAcrossTheClockWrap) {
    ProgrammingFor(0xFFFFF000u, 754, 0, 10);
    EXPECT_EQ(display.ElapsedText, "12:34");
}

TEST_F(ProgressDisplayTest, RemainingTimeDropsWholeHours) {
    ProgrammingFor(0, 100, 200, 200 + 2 * 3725);  // 2 blocks a second, 3725 s to go
    EXPECT_EQ(display.RemainingText, "02:05");
}

TEST_F(ProgressDisplayTest, RemainingTimeStaysWhenItCannotBeEstimated) {
    ProgrammingFor(0, 10, 20, 100);  // 2 a second: computed
    EXPECT_EQ(display.RemainingText, "00:40");
    ProgrammingFor(0, 10, 10, 100);  // 1 a second: left as it was
    EXPECT_EQ(display.SpeedText, "1 Blocks/Sec");
    EXPECT_EQ(display.RemainingText, "00:40");
    ProgrammingFor(0, 10, 120, 100);  // more written than counted: left as it was
    EXPECT_EQ(display.RemainingText, "00:40");
}

TEST_F(ProgressDisplayTest, FieldsStayWellFormedAtTheEdges) {
    ProgrammingFor(0, 1, 50, 100);  // too early for a rate
    EXPECT_EQ(display.SpeedText, "0 Blocks/Sec");
    ProgrammingFor(0, 100, 30000, 40000);  // faster than 255 a second
    EXPECT_EQ(display.SpeedText, "300 Blocks/Sec");
    ProgrammingFor(0, 100 * 60 + 5, 0, 1);  // minutes beyond two digits
    EXPECT_EQ(display.ElapsedText, "100:05");
}

TEST_F(ProgressDisplayTest, TheSoundIsDueOnceAfterSuccessAndNeverAfterFailure) {
    Shared().UpdatePhase = PhaseFinished;
    EXPECT_TRUE(display.OnProgramTick(0));
    EXPECT_EQ(Shared().UpdatePhase.load(), PhaseIdle);
    EXPECT_FALSE(display.OnProgramTick(1000));

    Shared().UpdatePhase = PhaseFailed;
    EXPECT_FALSE(display.OnProgramTick(2000));
    EXPECT_EQ(Shared().UpdatePhase.load(), PhaseIdle);
}

TEST_F(ProgressDisplayTest, IdleTicksKeepTheLastRunsValues) {
    ProgrammingFor(0, 20, 400, 1000);
    Shared().UpdatePhase = PhaseIdle;
    Shared().WrittenBlocks = 0;
    display.OnProgramTick(999999);
    EXPECT_EQ(display.SpeedText, "20 Blocks/Sec");
    EXPECT_EQ(display.ElapsedText, "00:20");
}

}  // namespace
