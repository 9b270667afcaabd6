#include "update/ImageRecords.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr uint8_t kNotAHexDigit = 35;

// Positions past the end of the line read as the digit "0".
char CharAt(std::string_view line, std::size_t pos) {
    return pos < line.size() ? line[pos] : '0';
}

uint32_t DigitAt(std::string_view line, std::size_t pos) {
    return HexDigitValue(CharAt(line, pos));
}

// Two hex digits from `pos`, kept to 8 bits.
uint8_t ByteAt(std::string_view line, std::size_t pos) {
    return static_cast<uint8_t>(DigitAt(line, pos) * 16 + DigitAt(line, pos + 1));
}

// The data byte count LL of an Intel HEX line (characters 1-2).
unsigned DspDataBytes(std::string_view line) {
    return ByteAt(line, 1);
}

// The byte count N of an S-record (characters 2-3).
unsigned McuCount(std::string_view line) {
    return ByteAt(line, 2);
}

constexpr std::size_t kDspDataStart = 9;
constexpr std::size_t kMcuAddressStart = 4;
constexpr std::size_t kMcuAddressDigits = 6;
constexpr std::size_t kMcuDataStart = 10;
constexpr unsigned kMcuAddressAndChecksumBytes = 4;

// Characters the DSP sum reads: whole four-digit words, so an odd count also reads
// the two checksum digits.
std::size_t DspSummedLength(std::string_view line) {
    const std::size_t words = (DspDataBytes(line) + 1) / 2;
    return kDspDataStart + 4 * words;
}

unsigned McuDataBytes(std::string_view line) {
    const unsigned count = McuCount(line);
    return count > kMcuAddressAndChecksumBytes ? count - kMcuAddressAndChecksumBytes : 0;
}

std::size_t McuSummedLength(std::string_view line) {
    return kMcuDataStart + 2 * static_cast<std::size_t>(McuDataBytes(line));
}

LineFault CheckText(std::string_view line) {
    if (line.size() > kMaxImageLineLength) {
        return LineFault::TooLong;
    }
    // Printable ASCII is 0x20-0x7E, so c - 0x20 (as a byte) is at most 0x5E exactly
    // for printable characters. One maximum over the line runs many bytes at a time,
    // which keeps the count of a large image near the speed of reading it.
    constexpr unsigned char kLastPrintable = 0x7E - 0x20;
    unsigned char largest = 0;
    for (const char c : line) {
        largest = std::max(largest, static_cast<unsigned char>(c - 0x20));
    }
    return largest <= kLastPrintable ? LineFault::None : LineFault::NotText;
}

// Whether every character of `text` is a hex digit, and the low byte of the sum of
// the bytes its digit pairs spell. The count checks every record of an image, so
// the characters are taken sixteen at a time in the lanes of a vector (GCC and
// Clang lower it to the machine's own vector instructions).
struct HexBytes {
    bool hex;
    uint8_t sum;
};

using Lanes = uint8_t __attribute__((vector_size(16)));

constexpr Lanes kLaneIndex = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

Lanes LoadLanes(const char* text) {
    Lanes lanes;
    std::memcpy(&lanes, text, sizeof lanes);
    return lanes;
}

// The sum of the even bytes of a word (each at most 255, so four fit in 16 bits).
unsigned SumEvenBytes(uint64_t word) {
    return static_cast<unsigned>(((word & 0x00FF00FF00FF00FF) * 0x0001000100010001) >> 48);
}

HexBytes SumHexBytes(std::string_view text) {
    const std::size_t length = text.size() & ~std::size_t{1};
    Lanes notHex = {};
    // Each lane adds up, modulo 256, the digit values at its position: even lanes
    // hold first (high) digits of pairs, odd lanes second ones. Modulo 256 is all
    // the byte sum needs.
    Lanes digits = {};
    const auto add = [&](Lanes c, Lanes keep) {
        const Lanes folded = c | 0x20;  // upper-case letters to lower case
        notHex |= ~Lanes((c - '0' < 10) | (folded - 'a' < 6)) & keep;
        // A digit's value: its low four bits, plus 9 for a letter (bit 6 set).
        digits += ((c & 0x0F) + (c >> 6 & 1) * 9) & keep;
    };
    const Lanes all = ~Lanes{};
    std::size_t i = 0;
    for (; i + sizeof(Lanes) <= length; i += sizeof(Lanes)) {
        add(LoadLanes(text.data() + i), all);
    }
    if (i < length && length >= sizeof(Lanes)) {
        // The last sixteen characters, without the lanes taken already.
        const std::size_t seen = i + sizeof(Lanes) - length;
        add(LoadLanes(text.data() + length - sizeof(Lanes)),
            Lanes(kLaneIndex >= static_cast<uint8_t>(seen)));
    } else if (i < length) {
        // Padded with "0" digits, which add nothing.
        char padded[sizeof(Lanes)];
        std::memset(padded, '0', sizeof padded);
        std::memcpy(padded, text.data(), length);
        add(LoadLanes(padded), all);
    }
    uint64_t words[2];
    std::memcpy(words, &digits, sizeof words);
    const unsigned high = SumEvenBytes(words[0]) + SumEvenBytes(words[1]);
    const unsigned low = SumEvenBytes(words[0] >> 8) + SumEvenBytes(words[1] >> 8);
    std::memcpy(words, &notHex, sizeof words);
    return {(words[0] | words[1]) == 0, static_cast<uint8_t>(high * 16 + low)};
}

// A record's bytes are the digit pairs from `first` that its count field (at
// `first`) calls for, `extraBytes` more than the count; they must all be there, be
// hex, and sum (checksum included) to `sum`. Characters after them are not judged.
LineFault CheckRecordBytes(std::string_view line, std::size_t first, unsigned extraBytes,
                           uint8_t sum) {
    if (line.size() < first + 2) {
        return LineFault::RecordTruncated;
    }
    const uint8_t countHigh = HexDigitValue(line[first]);
    const uint8_t countLow = HexDigitValue(line[first + 1]);
    if (countHigh > 15 || countLow > 15) {
        return LineFault::RecordNotHex;
    }
    const std::size_t digits = 2 * (std::size_t{countHigh} * 16 + countLow + extraBytes);
    if (line.size() < first + digits) {
        return LineFault::RecordTruncated;
    }
    const HexBytes bytes = SumHexBytes(line.substr(first, digits));
    if (!bytes.hex) {
        return LineFault::RecordNotHex;
    }
    return bytes.sum == sum ? LineFault::None : LineFault::ChecksumWrong;
}

// ':' LL AAAA TT data CC: LL + 5 bytes that sum to 0.
LineFault CheckIntelHexRecord(std::string_view line) {
    if (line.empty() || line[0] != ':') {
        return LineFault::None;
    }
    return CheckRecordBytes(line, 1, 5, 0);
}

// 'S' T NN address data CC: N + 1 bytes (the count counts address, data and
// checksum) that sum to 0xFF, the checksum being the ones' complement of the rest.
LineFault CheckSRecord(std::string_view line) {
    if (line.size() < 2 || line[0] != 'S' || line[1] < '0' || line[1] > '9') {
        return LineFault::None;
    }
    return CheckRecordBytes(line, 2, 1, 0xFF);
}

bool FieldEquals(std::string_view line, std::size_t pos, std::string_view text) {
    return line.size() >= pos + text.size() && line.substr(pos, text.size()) == text;
}

}  // namespace

// Digit values of every byte, looked up rather than compared: the count parses an
// address on every line of an image.
constexpr std::array<uint8_t, 256> kHexDigitValues = [] {
    std::array<uint8_t, 256> values{};
    for (int c = 0; c < 256; ++c) {
        if (c >= '0' && c <= '9') {
            values[c] = static_cast<uint8_t>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            values[c] = static_cast<uint8_t>(c - 'A' + 10);
        } else if (c >= 'a' && c <= 'f') {
            values[c] = static_cast<uint8_t>(c - 'a' + 10);
        } else {
            values[c] = kNotAHexDigit;
        }
    }
    return values;
}();

uint8_t HexDigitValue(char c) {
    return kHexDigitValues[static_cast<unsigned char>(c)];
}

uint32_t ParseHex24(std::string_view text) {
    uint32_t total = 0;
    for (std::size_t i = 0; i < kMcuAddressDigits; ++i) {
        const char c = CharAt(text, i);
        const uint8_t digit = HexDigitValue(c);
        total += digit == kNotAHexDigit ? static_cast<unsigned char>(c) : digit;
        total <<= 4;
    }
    return total >> 4;
}

uint16_t DspRecordSum(std::string_view line) {
    const std::size_t dataDigits = 2 * static_cast<std::size_t>(DspDataBytes(line));
    uint32_t sum = 0;
    for (std::size_t offset = 0; offset < dataDigits; offset += 4) {
        const std::size_t pos = kDspDataStart + offset;
        sum += DigitAt(line, pos) * 4096 + DigitAt(line, pos + 1) * 256 +
               DigitAt(line, pos + 2) * 16 + DigitAt(line, pos + 3);
    }
    return static_cast<uint16_t>(sum & 0xFFFF);
}

uint16_t McuRecordSum(std::string_view line) {
    const unsigned bytes = McuDataBytes(line);
    uint32_t sum = 0;
    for (unsigned i = 0; i < bytes; ++i) {
        sum += ByteAt(line, kMcuDataStart + 2 * static_cast<std::size_t>(i));
    }
    return static_cast<uint16_t>(sum & 0xFFFF);
}

bool IsDspCheckpoint(std::string_view line) {
    return FieldEquals(line, 3, "3FFE");
}

bool IsDspSummed(std::string_view line) {
    return line.size() > 8 && line[8] == '0';
}

bool IsMcuCheckpoint(std::string_view line) {
    return FieldEquals(line, 5, "23FFE");
}

bool IsMcuS2(std::string_view line) {
    return line.size() > 1 && line[1] == '2';
}

bool IsMcuBlock(std::string_view line) {
    if (!IsMcuS2(line) || line.size() < kMcuAddressStart + kMcuAddressDigits) {
        return false;
    }
    const uint32_t address = ParseHex24(line.substr(kMcuAddressStart, kMcuAddressDigits));
    return address < kMcuSkippedFirst || address > kMcuSkippedLast;
}

namespace {

// What the sums need of a dsp.hex line.
LineFault CheckDspSummedRecord(std::string_view line) {
    if (!IsDspSummed(line)) {
        return LineFault::None;
    }
    if (DspDataBytes(line) > kMaxDspSummedDataBytes) {
        return LineFault::RecordTooLong;
    }
    return line.size() < DspSummedLength(line) ? LineFault::RecordTruncated : LineFault::None;
}

// What the block selection and the sums need of an S2 line.
LineFault CheckMcuS2Record(std::string_view line) {
    if (!IsMcuS2(line)) {
        return LineFault::None;
    }
    if (line.size() < kMcuAddressStart + kMcuAddressDigits) {
        return LineFault::AddressTruncated;
    }
    if (!IsMcuBlock(line)) {
        return LineFault::None;
    }
    if (McuCount(line) > kMaxMcuSummedCount) {
        return LineFault::RecordTooLong;
    }
    return line.size() < McuSummedLength(line) ? LineFault::RecordTruncated : LineFault::None;
}

// The first fault of the checks in order, or None.
template <typename... Checks>
LineFault FirstFault(std::string_view line, Checks... checks) {
    LineFault fault = LineFault::None;
    ((fault = fault == LineFault::None ? checks(line) : fault), ...);
    return fault;
}

}  // namespace

LineFault CheckDspLine(std::string_view line) {
    return FirstFault(line, CheckText, CheckDspSummedRecord, CheckIntelHexRecord);
}

LineFault CheckMcuLine(std::string_view line) {
    return FirstFault(line, CheckText, CheckMcuS2Record, CheckSRecord);
}
