#include "tools/devsim/Records.h"

#include <cstddef>

namespace devsim::records {
namespace {

constexpr int kNotADigit = 35;

// Value of the digits at pos, most significant first. Digits are combined
// without masking, so a non-digit (35) weighs in just as the image sums count it.
unsigned DigitsAt(std::string_view text, std::size_t pos, std::size_t digits) {
    unsigned value = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        value = value * 16 + static_cast<unsigned>(HexDigit(text[pos + i]));
    }
    return value;
}

// A count field: two digits kept to 8 bits.
std::size_t CountAt(std::string_view text, std::size_t pos) {
    return DigitsAt(text, pos, 2) & 0xFF;
}

bool HasAt(std::string_view text, std::size_t pos, std::string_view expected) {
    return text.size() >= pos + expected.size() && text.substr(pos, expected.size()) == expected;
}

}  // namespace

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return kNotADigit;
}

std::optional<std::uint16_t> DspRecordSum(std::string_view record) {
    constexpr std::size_t kDataStart = 9;
    constexpr std::size_t kWordDigits = 4;
    if (record.size() < 3) {
        return std::nullopt;
    }
    const std::size_t dataDigits = 2 * CountAt(record, 1);
    const std::size_t words = (dataDigits + kWordDigits - 1) / kWordDigits;
    if (record.size() < kDataStart + words * kWordDigits) {
        return std::nullopt;
    }
    unsigned sum = 0;
    for (std::size_t w = 0; w < words; ++w) {
        sum += DigitsAt(record, kDataStart + w * kWordDigits, kWordDigits);
    }
    return static_cast<std::uint16_t>(sum & 0xFFFF);
}

std::optional<std::uint16_t> McuRecordSum(std::string_view record) {
    constexpr std::size_t kDataStart = 10;
    constexpr std::size_t kAddressAndChecksumBytes = 4;
    if (record.size() < kDataStart) {
        return std::nullopt;
    }
    const std::size_t count = CountAt(record, 2);
    const std::size_t dataBytes =
        count > kAddressAndChecksumBytes ? count - kAddressAndChecksumBytes : 0;
    if (record.size() < kDataStart + 2 * dataBytes) {
        return std::nullopt;
    }
    unsigned sum = 0;
    for (std::size_t b = 0; b < dataBytes; ++b) {
        sum += DigitsAt(record, kDataStart + 2 * b, 2);
    }
    return static_cast<std::uint16_t>(sum & 0xFFFF);
}

bool IsDspDataRecord(std::string_view record) {
    return record.size() > 8 && record[8] == '0';
}

bool IsDspCheckpoint(std::string_view record) {
    return HasAt(record, 3, "3FFE");
}

bool IsMcuS2Record(std::string_view record) {
    return record.size() > 1 && record[1] == '2';
}

bool IsMcuCheckpoint(std::string_view record) {
    return HasAt(record, 5, "23FFE");
}

}  // namespace devsim::records
