#include <gtest/gtest.h>

#include "link/SharedState.h"
#include "link/Timeouts.h"

TEST(Timeouts, ScalingShrinksWaitsButNeverToZero) {
    timing::SetScalePercentForTests(10);
    EXPECT_EQ(timing::Scaled(8000), 800u);
    EXPECT_EQ(timing::Scaled(5), 1u);
    EXPECT_EQ(timing::Scaled(0), 0u);
    timing::SetScalePercentForTests(100);
    EXPECT_EQ(timing::Scaled(8000), 8000u);
}

TEST(SharedState, ResetRestoresProgramStartValues) {
    Shared().ReplyTimeout = 1234;
    Shared().PercentText.Set("42%");
    Shared().Reset();
    EXPECT_EQ(Shared().ReplyTimeout.load(), 8000u);
    EXPECT_EQ(Shared().PercentText.Get(), "");
}
