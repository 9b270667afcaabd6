// The manual-reset event and the millisecond clock.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "SerialLib/Serial/posix/Clock.h"
#include "SerialLib/Serial/posix/Event.h"
#include "SerialLib/Serial/posix/Types.h"

namespace {

using namespace std::chrono_literals;

TEST(EventTest, StartsClearAndTimesOut) {
    CEvent event;
    EXPECT_FALSE(event.IsSet());
    const uint64_t start = MonotonicMs();
    EXPECT_EQ(event.Wait(30), WAIT_TIMEOUT);
    EXPECT_GE(MonotonicMs() - start, 29u);
}

TEST(EventTest, StaysSignalledUntilReset) {
    CEvent event;
    event.Set();
    EXPECT_EQ(event.Wait(0), 0u);
    EXPECT_EQ(event.Wait(INFINITE), 0u);
    event.Reset();
    EXPECT_EQ(event.Wait(0), WAIT_TIMEOUT);
}

TEST(EventTest, SetWakesEveryWaiter) {
    CEvent event;
    std::atomic<int> woken{0};
    std::thread a([&] { woken += event.Wait(INFINITE) == 0 ? 1 : 0; });
    std::thread b([&] { woken += event.Wait(5000) == 0 ? 1 : 0; });
    std::this_thread::sleep_for(10ms);
    event.Set();
    a.join();
    b.join();
    EXPECT_EQ(woken, 2);
}

TEST(ClockTest, TimeGetTimeIsTheLowHalfOfTheMonotonicClock) {
    const uint64_t wide = MonotonicMs();
    const uint32_t narrow = TimeGetTime();
    EXPECT_LE(static_cast<uint32_t>(narrow - static_cast<uint32_t>(wide)), 1000u);
}

}  // namespace
