#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "link/DeviceLink.h"

// A failure's detail in the device's terms, where the outcome alone does not say
// what happened. They go into RunReport::detail, never into the log.

// A record the loader did not take: "block 200 of 321 refused: Sr", or with no
// reply "block 200 of 321: no reply". The reply is the device's and is shown
// printable and shortened.
std::string RecordFailureDetail(uint32_t block, uint32_t total, std::string_view reply,
                                ReplyEnd end);

// A checkpoint whose sums differ: "image sum 1A2B, device sum 1A2C".
std::string SumMismatchDetail(uint16_t imageSum, uint16_t deviceSum);
