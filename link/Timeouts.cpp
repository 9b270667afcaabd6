#include "link/Timeouts.h"

#include <atomic>

namespace timing {
namespace {
std::atomic<uint32_t> g_scalePercent{100};
}

void SetScalePercentForTests(uint32_t percent) {
    g_scalePercent = percent;
}

uint32_t Scaled(uint32_t ms) {
    const uint32_t percent = g_scalePercent.load(std::memory_order_relaxed);
    if (percent == 100 || ms == 0) {
        return ms;
    }
    const uint64_t scaled = static_cast<uint64_t>(ms) * percent / 100;
    return scaled == 0 ? 1 : static_cast<uint32_t>(scaled);
}

}  // namespace timing
