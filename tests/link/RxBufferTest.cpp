#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "link/RxBuffer.h"

namespace {

std::vector<uint8_t> Bytes(int count, int start) {
    std::vector<uint8_t> bytes(count);
    std::iota(bytes.begin(), bytes.end(), static_cast<uint8_t>(start));
    return bytes;
}

}  // namespace

TEST(RxBuffer, BytesComeOutInArrivalOrderAcrossTheWrap) {
    RxBuffer buffer;
    std::vector<uint8_t> out(RxBuffer::kSize);
    for (int round = 0; round < 5; ++round) {
        const auto in = Bytes(300, round * 7);
        ASSERT_EQ(buffer.Append(in.data(), 300), 300);
        ASSERT_EQ(buffer.TakeAll(out.data(), RxBuffer::kSize), 300) << "round " << round;
        EXPECT_TRUE(std::equal(in.begin(), in.end(), out.begin())) << "round " << round;
    }
    EXPECT_EQ(buffer.TakeAll(out.data(), RxBuffer::kSize), 0);
}

TEST(RxBuffer, AFullRingKeepsItsUnreadBytesAndCountsTheRest) {
    RxBuffer buffer;
    const auto in = Bytes(600, 0);
    EXPECT_EQ(buffer.Append(in.data(), 600), RxBuffer::kSize - 1);
    EXPECT_EQ(buffer.Dropped(), 600 - (RxBuffer::kSize - 1));
    std::vector<uint8_t> out(RxBuffer::kSize);
    ASSERT_EQ(buffer.TakeAll(out.data(), RxBuffer::kSize), RxBuffer::kSize - 1);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + RxBuffer::kSize - 1, in.begin()));
    buffer.Clear();
    EXPECT_EQ(buffer.Dropped(), 0);
}

TEST(RxBuffer, TakeStopsAtTheCallersCapacityAndKeepsTheRest) {
    RxBuffer buffer;
    const auto in = Bytes(10, 0);
    buffer.Append(in.data(), 10);
    uint8_t out[10] = {};
    EXPECT_EQ(buffer.TakeAll(out, 4), 4);
    EXPECT_EQ(buffer.TakeAll(out + 4, 6), 6);
    EXPECT_TRUE(std::equal(in.begin(), in.end(), out));
}

TEST(RxBuffer, DeliveryWakesTheWorkerForFirstBytesACrOrAFillingQueueButNotMidLine) {
    RxBuffer buffer;
    auto deliver = [&](const std::string& bytes) {
        return buffer.Deliver(reinterpret_cast<const uint8_t*>(bytes.data()),
                              static_cast<int>(bytes.size()));
    };
    buffer.WakeOnFirstData(true);
    EXPECT_FALSE(deliver("")) << "a notification that reads nothing";
    EXPECT_TRUE(deliver("ST4_")) << "a reply's first bytes";
    EXPECT_FALSE(deliver("00")) << "bytes in the middle of a line";
    EXPECT_TRUE(deliver("01\r"));
    buffer.Clear();
    EXPECT_FALSE(deliver(std::string(200, 'x')));
    EXPECT_TRUE(deliver(std::string(100, 'x'))) << "a queue half full must be emptied";
}
