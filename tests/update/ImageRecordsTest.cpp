#include <gtest/gtest.h>

#include <string>

#include "update/ImageRecords.h"

namespace {

// `digits` (count onward) followed by the checksum that makes its bytes sum to `total`.
std::string WithChecksum(const std::string& digits, unsigned total) {
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        sum += std::stoul(digits.substr(i, 2), nullptr, 16);
    }
    char checksum[3];
    std::snprintf(checksum, sizeof checksum, "%02X", (total - sum) & 0xFF);
    return digits + checksum;
}

// An Intel HEX data record of `bytes` data bytes (all 0x11).
std::string DspDataRecord(unsigned bytes) {
    char count[3];
    std::snprintf(count, sizeof count, "%02X", bytes);
    return ":" + WithChecksum(count + std::string("000000") + std::string(2 * bytes, '1'), 0);
}

// An S2 record at `address` with `count` in its count field and `dataBytes` bytes 0x22.
std::string McuRecord(const char* address, unsigned count, unsigned dataBytes) {
    char countText[3];
    std::snprintf(countText, sizeof countText, "%02X", count);
    return "S2" +
           WithChecksum(countText + std::string(address) + std::string(2 * dataBytes, '2'), 0xFF);
}

}  // namespace

TEST(HexDigits, DigitValuesOfBothCasesAndEverythingElse) {
    EXPECT_EQ(HexDigitValue('0'), 0);
    EXPECT_EQ(HexDigitValue('9'), 9);
    EXPECT_EQ(HexDigitValue('A'), 10);
    EXPECT_EQ(HexDigitValue('f'), 15);
    EXPECT_EQ(HexDigitValue('G'), 35);
    EXPECT_EQ(HexDigitValue('\0'), 35);
    EXPECT_EQ(HexDigitValue(static_cast<char>(0xE9)), 35);
}

TEST(HexDigits, ParseHex24ReadsSixDigitsOfEitherCase) {
    EXPECT_EQ(ParseHex24("00c0a0"), 0xC0A0u);
    EXPECT_EQ(ParseHex24("00C0A0"), 0xC0A0u);
    EXPECT_EQ(ParseHex24("FFFFFF"), 0xFFFFFFu);
    EXPECT_EQ(ParseHex24("0123456789"), 0x012345u);  // only six characters are read
}

TEST(HexDigits, ParseHex24AddsTheCodeOfANonHexCharacter) {
    EXPECT_EQ(ParseHex24("00000G"), static_cast<uint32_t>('G'));
    EXPECT_EQ(ParseHex24("0000G0"), static_cast<uint32_t>('G') * 16);
    // High bytes are taken as unsigned character codes.
    EXPECT_EQ(ParseHex24(std::string("00000") + static_cast<char>(0xFF)), 0xFFu);
}

TEST(HexDigits, ParseHex24ReadsMissingCharactersAsZero) {
    EXPECT_EQ(ParseHex24("012"), 0x012000u);
    EXPECT_EQ(ParseHex24(""), 0u);
}

TEST(RecordSums, WorkedExamples) {
    EXPECT_EQ(DspRecordSum(":040010001234567899"), 0x68AC);
    EXPECT_EQ(DspRecordSum(":0400100012345678"), 0x68AC);  // checksum digits not read
    EXPECT_EQ(McuRecordSum("S2080000000102FFAA5B"), 0x1AC);
}

TEST(RecordSums, OddDspCountTakesTheChecksumDigitsIntoTheLastWord) {
    // Words ABCD and EF12: the last data byte EF followed by the checksum 12.
    EXPECT_EQ(DspRecordSum(":03000000ABCDEF12"), (0xABCD + 0xEF12) & 0xFFFF);
}

TEST(RecordSums, SumsWrapAtSixteenBits) {
    EXPECT_EQ(DspRecordSum(":04000000FFFFFFFF00"), (0xFFFF + 0xFFFF) & 0xFFFF);
    // 126 bytes 0xFF: 126 x 255 = 32130 fits; the DSP words of 0xFFFF overflow.
    std::string mcu = "S283000000" + std::string(2 * 127, 'F') + "00";
    EXPECT_EQ(McuRecordSum(mcu), (127 * 255) & 0xFFFF);
}

TEST(RecordSums, McuCountOfFourOrLessReadsNoData) {
    EXPECT_EQ(McuRecordSum("S204000000FB"), 0);
    EXPECT_EQ(McuRecordSum("S203000000FB"), 0);
    EXPECT_EQ(McuRecordSum("S2"), 0);
}

TEST(RecordSums, NonHexDigitsCountAsThirtyFiveAndPairsStayBytes) {
    // "GG" is 35 x 16 + 35 = 595, kept to the byte 0x53.
    EXPECT_EQ(McuRecordSum("S205000000GGCC"), 595 & 0xFF);
    EXPECT_EQ(DspRecordSum(":02000000G00000"), (35 * 4096) & 0xFFFF);
}

TEST(RecordSums, ShortLinesReadNothingPastTheirEnd) {
    // The count says 4 bytes but the line ends after one word: the rest reads as 0.
    EXPECT_EQ(DspRecordSum(":04001000ABCD"), 0xABCD);
    EXPECT_EQ(DspRecordSum(""), 0);
    EXPECT_EQ(McuRecordSum("S2080000000102"), 0x03);
}

TEST(Checkpoints, DspAddressTextOnlyInUpperCase) {
    EXPECT_TRUE(IsDspCheckpoint(":023FFE00AABBCC"));
    EXPECT_TRUE(IsDspCheckpoint(":023FFE01AABBCC"));  // the record type is not considered
    EXPECT_TRUE(IsDspCheckpoint(":003FFE"));
    EXPECT_FALSE(IsDspCheckpoint(":023ffe00AABBCC"));
    EXPECT_FALSE(IsDspCheckpoint(":023FFD00AABBCC"));
    EXPECT_FALSE(IsDspCheckpoint(":023FF"));
}

TEST(Checkpoints, McuCharacterFourIsNotCompared) {
    EXPECT_TRUE(IsMcuCheckpoint("S20A023FFE0102030405CC"));
    EXPECT_TRUE(IsMcuCheckpoint("S20A123FFE0102030405CC"));
    EXPECT_TRUE(IsMcuCheckpoint("S20AF23FFE0102030405CC"));
    EXPECT_TRUE(IsMcuCheckpoint("S10A023FFE"));  // any record type matches the text
    EXPECT_FALSE(IsMcuCheckpoint("S20A023ffe0102030405CC"));
    EXPECT_FALSE(IsMcuCheckpoint("S20A0023FFE01020304CC"));
    EXPECT_FALSE(IsMcuCheckpoint("S20A023FF"));
}

TEST(Blocks, DspDataRecordsAreSummedByCharacterEight) {
    EXPECT_TRUE(IsDspSummed(":0400100012345678AA"));
    EXPECT_FALSE(IsDspSummed(":00000001FF"));
    EXPECT_FALSE(IsDspSummed(":02000004FFFFFC"));
    EXPECT_FALSE(IsDspSummed(":0400100"));
}

TEST(Blocks, McuBlocksAreS2RecordsOutsideTheSkippedRange) {
    EXPECT_TRUE(IsMcuBlock("S20800BFFF0102FFAACC"));
    EXPECT_FALSE(IsMcuBlock("S20800C0000102FFAACC"));
    EXPECT_FALSE(IsMcuBlock("S208010000FFAACC"));
    EXPECT_FALSE(IsMcuBlock("S208013FFF0102FFAACC"));
    EXPECT_TRUE(IsMcuBlock("S2080140000102FFAACC"));
    EXPECT_FALSE(IsMcuBlock("S20800c0000102FFAACC"));  // lower-case digits read alike
    EXPECT_TRUE(IsMcuBlock("S2080000000102FFAACC"));
    for (const char* other : {"S1080000000102FFAACC", "S3080000000102FFAACC",
                              "S0080000000102FFAACC", "S9030000FC", "S804000000FB"}) {
        EXPECT_FALSE(IsMcuBlock(other)) << other;
    }
    EXPECT_FALSE(IsMcuBlock("S20800BF"));  // too short to hold its address
}

TEST(LineChecks, DspLinesThatAreSentAsTheyAre) {
    EXPECT_EQ(CheckDspLine(""), LineFault::None);
    EXPECT_EQ(CheckDspLine(":00000001FF"), LineFault::None);
    EXPECT_EQ(CheckDspLine("garbage text"), LineFault::None);
    EXPECT_EQ(CheckDspLine(DspDataRecord(126)), LineFault::None);
    // Only data records are limited: they are the summed ones.
    EXPECT_EQ(CheckDspLine(":FF000004" + std::string(510, '0') + "FD"), LineFault::None);
}

TEST(LineChecks, DspLinesThatAreRefused) {
    EXPECT_EQ(CheckDspLine(DspDataRecord(127)), LineFault::RecordTooLong);
    EXPECT_EQ(CheckDspLine(":04001000ABCD"), LineFault::RecordTruncated);
    EXPECT_EQ(CheckDspLine(":0300000011223"), LineFault::RecordTruncated);  // odd: needs 2 more
    EXPECT_EQ(CheckDspLine(std::string(":0000\0", 6)), LineFault::NotText);
    EXPECT_EQ(CheckDspLine(":00\r00"), LineFault::NotText);
    EXPECT_EQ(CheckDspLine(":00\x80"), LineFault::NotText);
    EXPECT_EQ(CheckDspLine(std::string(kMaxImageLineLength + 1, '0')), LineFault::TooLong);
}

TEST(LineChecks, McuLines) {
    EXPECT_EQ(CheckMcuLine("S00600004844521B"), LineFault::None);
    EXPECT_EQ(CheckMcuLine(McuRecord("000000", 131, 127)), LineFault::None);
    EXPECT_EQ(CheckMcuLine(McuRecord("000000", 132, 128)), LineFault::RecordTooLong);
    EXPECT_EQ(CheckMcuLine(McuRecord("00C000", 132, 128)), LineFault::None);  // never sent
    EXPECT_EQ(CheckMcuLine(McuRecord("000000", 8, 1)), LineFault::RecordTruncated);
    EXPECT_EQ(CheckMcuLine("S20800BF"), LineFault::AddressTruncated);
    EXPECT_EQ(CheckMcuLine("S1"), LineFault::RecordTruncated);
    EXPECT_EQ(CheckMcuLine("S2080000\t0102FFAACC"), LineFault::NotText);
}

TEST(LineChecks, EveryRecordMustBeWholeHexWithItsOwnChecksum) {
    EXPECT_EQ(CheckDspLine(":0400100012345678d8"), LineFault::None);  // either case
    EXPECT_EQ(CheckDspLine(":0400100012345678D8 trailing"), LineFault::None);
    EXPECT_EQ(CheckDspLine(":0400100012345678D9"), LineFault::ChecksumWrong);
    EXPECT_EQ(CheckDspLine(":02000004FFFFFD"), LineFault::ChecksumWrong);  // not summed
    EXPECT_EQ(CheckDspLine(":00000001F"), LineFault::RecordTruncated);
    EXPECT_EQ(CheckDspLine(":0000000G00"), LineFault::RecordNotHex);
    EXPECT_EQ(CheckDspLine(":0G"), LineFault::RecordNotHex);
    EXPECT_EQ(CheckMcuLine("S2080000000102FFAA4B"), LineFault::None);
    EXPECT_EQ(CheckMcuLine("S2080000000102FFAA4C"), LineFault::ChecksumWrong);
    EXPECT_EQ(CheckMcuLine("S20800C0000102FFAA00"), LineFault::ChecksumWrong);  // never sent
    EXPECT_EQ(CheckMcuLine("S804000000FC"), LineFault::ChecksumWrong);
    EXPECT_EQ(CheckMcuLine("S9030000F"), LineFault::RecordTruncated);
    EXPECT_EQ(CheckMcuLine("S00600004844521X"), LineFault::RecordNotHex);
    EXPECT_EQ(CheckMcuLine("header text"), LineFault::None);  // not a record

    // Long records are read many characters at a time: a fault anywhere counts once.
    for (const unsigned bytes : {6u, 7u, 100u, 126u}) {
        const std::string record = DspDataRecord(bytes);
        EXPECT_EQ(CheckDspLine(record), LineFault::None) << bytes;
        for (const std::size_t pos : {std::size_t{9}, record.size() / 2, record.size() - 3}) {
            std::string notHex = record;
            notHex[pos] = 'g';
            EXPECT_EQ(CheckDspLine(notHex), LineFault::RecordNotHex) << bytes << " at " << pos;
            std::string changed = record;
            changed[pos] = '3';
            EXPECT_EQ(CheckDspLine(changed), LineFault::ChecksumWrong) << bytes << " at " << pos;
        }
    }
}

TEST(LineChecks, TextIsExactlyPrintableAsciiAnywhereInALongLine) {
    const std::string printable = "s0 ~" + std::string(400, '0');
    EXPECT_EQ(CheckMcuLine(printable), LineFault::None);
    for (const char bad : {'\x1F', '\x7F', '\x80', '\xFF'}) {
        for (const std::size_t pos : {std::size_t{2}, std::size_t{200}, printable.size() - 1}) {
            std::string line = printable;
            line[pos] = bad;
            EXPECT_EQ(CheckMcuLine(line), LineFault::NotText) << int(bad) << " at " << pos;
            EXPECT_EQ(CheckDspLine(":" + line), LineFault::NotText) << int(bad) << " at " << pos;
        }
    }
}
