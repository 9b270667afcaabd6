// Feeds arbitrary bytes as one image line to the record field readers, the sums
// and the line checks. The line lives in a buffer of exactly its size, so any read
// past its end is caught by the address sanitizer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "update/ImageRecords.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool AllHex(std::string_view text) {
    for (char c : text) {
        if (HexDigitValue(c) > 15) {
            return false;
        }
    }
    return true;
}

void CheckParseHex24(std::string_view line) {
    const uint32_t value = ParseHex24(line);
    if (line.size() >= 6 && AllHex(line.substr(0, 6))) {
        const std::string text(line.substr(0, 6));
        Require(value == std::strtoul(text.c_str(), nullptr, 16));
    }
}

void CheckLineChecks(std::string_view line) {
    const LineFault dsp = CheckDspLine(line);
    const LineFault mcu = CheckMcuLine(line);
    // A line the checks pass is printable text within the length limit.
    if (dsp == LineFault::None || mcu == LineFault::None) {
        Require(line.size() <= kMaxImageLineLength);
        for (char c : line) {
            Require(c >= 0x20 && c <= 0x7E);
        }
    }
    // Only S2 lines long enough to hold an address are MCU blocks.
    if (IsMcuBlock(line)) {
        Require(IsMcuS2(line) && line.size() >= 10);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    auto copy = std::make_unique<char[]>(size == 0 ? 1 : size);
    if (size != 0) {
        std::memcpy(copy.get(), data, size);
    }
    const std::string_view line(copy.get(), size);

    (void)HexDigitValue(size == 0 ? '\0' : line[0]);
    CheckParseHex24(line);
    (void)DspRecordSum(line);
    (void)McuRecordSum(line);
    (void)IsDspCheckpoint(line);
    (void)IsDspSummed(line);
    (void)IsMcuCheckpoint(line);
    CheckLineChecks(line);
    return 0;
}
