#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <thread>

#include "LoopProbe.h"

namespace {

using namespace std::chrono_literals;

// A handler that holds the loop for 150 ms makes the probe's next timeout that
// much late; the probe keeps firing before and after it.
TEST(LoopProbeTest, RecordsHowLongTheLoopWasHeld) {
    LoopProbe probe(10ms);
    QEventLoop loop;
    QTimer::singleShot(100ms, [] { std::this_thread::sleep_for(150ms); });
    QTimer::singleShot(400ms, &loop, &QEventLoop::quit);
    probe.Start();
    loop.exec();
    probe.Stop();
    const std::vector<double>& late = probe.LatenessUs();
    ASSERT_GT(late.size(), 10u);
    EXPECT_GE(*std::max_element(late.begin(), late.end()), 130'000);
    EXPECT_GE(*std::min_element(late.begin(), late.end()), 0);
    // Restarted after each timeout: the held stretch costs fires, it does not queue them.
    EXPECT_LT(late.size(), 30u);
}

}  // namespace
