#include <gtest/gtest.h>

#include "tools/devsim/Records.h"

namespace devsim::records {
namespace {

TEST(Records, SumsMatchTheWorkedExamples) {
    // Any two checksum digits: the sums never read them for even byte counts.
    EXPECT_EQ(DspRecordSum(":0400100012345678E2"), 0x68AC);
    EXPECT_EQ(DspRecordSum(":040010001234567800"), 0x68AC);
    EXPECT_EQ(McuRecordSum("S2080000000102FFAA4B"), 0x1AC);
    EXPECT_EQ(McuRecordSum("S2080000000102FFAA00"), 0x1AC);
}

TEST(Records, DspOddByteCountTakesTheChecksumDigitsAsTheLastHalfWord) {
    // Three data bytes 12 34 56, checksum 9A: words 0x1234 and 0x569A.
    EXPECT_EQ(DspRecordSum(":03001000123456"
                           "9A"),
              0x1234 + 0x569A);
}

TEST(Records, SumsWrapAtSixteenBits) {
    EXPECT_EQ(DspRecordSum(":04001000FFFF0002"
                           "00"),
              0x0001);
}

TEST(Records, LargestMcuCountSumsAllItsBytes) {
    std::string mcu = "S2FF000000";
    for (int i = 0; i < 0xFF - 4; ++i) {
        mcu += "FF";
    }
    EXPECT_EQ(McuRecordSum(mcu + "00"), 251 * 0xFF);
    EXPECT_FALSE(McuRecordSum(mcu.substr(0, mcu.size() - 2)));
}

TEST(Records, RecordsShorterThanTheirCountHaveNoSum) {
    EXPECT_FALSE(DspRecordSum(":04001000123456"));
    EXPECT_FALSE(DspRecordSum(":03001000123456"));  // odd count needs the checksum digits
    EXPECT_FALSE(DspRecordSum(""));
    EXPECT_FALSE(McuRecordSum("S2080000000102FF"));
    EXPECT_FALSE(McuRecordSum("S208000"));
    EXPECT_EQ(McuRecordSum("S2040000"), std::nullopt);
    EXPECT_EQ(McuRecordSum("S204000000FB"), 0);  // no data bytes
}

TEST(Records, DigitsOfEitherCaseAndNonDigits) {
    EXPECT_EQ(HexDigit('0'), 0);
    EXPECT_EQ(HexDigit('a'), 10);
    EXPECT_EQ(HexDigit('F'), 15);
    EXPECT_EQ(HexDigit('G'), 35);
    EXPECT_EQ(DspRecordSum(":02001000abcd00"), 0xABCD);
}

TEST(Records, KindsAndCheckpointsAreReadCaseSensitively) {
    EXPECT_TRUE(IsDspDataRecord(":0400100012345678E2"));
    EXPECT_FALSE(IsDspDataRecord(":00000001FF"));
    EXPECT_FALSE(IsDspDataRecord(""));
    EXPECT_TRUE(IsDspCheckpoint(":023FFE00ABCD00"));
    EXPECT_FALSE(IsDspCheckpoint(":023ffe00ABCD00"));
    EXPECT_FALSE(IsDspCheckpoint(":023F"));
    EXPECT_TRUE(IsMcuS2Record("S2080000000102FFAA4B"));
    EXPECT_FALSE(IsMcuS2Record("S1080000000102FFAA4B"));
    EXPECT_TRUE(IsMcuCheckpoint("S20A023FFE0102FFAA00"));
    EXPECT_TRUE(IsMcuCheckpoint("S20AF23FFE0102FFAA00"));  // character 4 is not compared
    EXPECT_FALSE(IsMcuCheckpoint("S20A023ffe0102FFAA00"));
}

}  // namespace
}  // namespace devsim::records
