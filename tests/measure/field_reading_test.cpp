#include "measure/field_reading.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

constexpr float kTolerance = 1e-4f;

void PutCount(std::vector<uint8_t>& reply, std::size_t offset, int32_t count) {
    auto bits = static_cast<uint32_t>(count);
    for (int i = 0; i < 4; ++i)
        reply[offset + i] = static_cast<uint8_t>(bits >> (8 * i));
}

std::vector<uint8_t> ReplyWithSample(int record, int32_t ef, int32_t x, int32_t y, int32_t z) {
    std::vector<uint8_t> reply(kFieldReplyLength, 0);
    reply[kFieldTrailerOffset] = kFieldTrailer;
    std::size_t base = 20 * record;
    PutCount(reply, base + 4, ef);
    PutCount(reply, base + 8, x);
    PutCount(reply, base + 12, y);
    PutCount(reply, base + 16, z);
    return reply;
}

TEST(FieldReading, CountsAreLittleEndianSigned) {
    const uint8_t bytes[] = {0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF,
                             0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80};
    EXPECT_EQ(ReadCountLE(bytes, 0), 0x12345678);
    EXPECT_EQ(ReadCountLE(bytes, 4), -1);
    EXPECT_EQ(ReadCountLE(bytes, 8), INT32_MIN);
}

TEST(FieldReading, WholeOnlyWithTrailerAtByte1200) {
    std::vector<uint8_t> reply(kFieldReplyLength, 0);
    EXPECT_FALSE(IsWholeFieldReply(reply));
    reply[1200] = 0xAA;
    EXPECT_TRUE(IsWholeFieldReply(reply));
    reply[1200] = 0xAB;
    EXPECT_FALSE(IsWholeFieldReply(reply));
    // A short read never reaches the trailer, whatever it holds.
    EXPECT_FALSE(IsWholeFieldReply(std::vector<uint8_t>(kFieldTrailerOffset, 0xAA)));
}

TEST(FieldReading, RecordsLandAtTheirIndex) {
    // Revision 0: EF 64 -> 56 V/m; X 304 -> 6 mG, Y 374 -> 8 mG, Z 0 -> 0; total 10 mG.
    auto reply = ReplyWithSample(59, 64, 304, 374, 0);
    FieldBlockData block;
    ASSERT_TRUE(DecodeFieldReply(reply, 0.0f, block));
    EXPECT_NEAR(block.efSeries[59], 56.0f, kTolerance);
    EXPECT_NEAR(block.xSeries[59], 6.0f, kTolerance);
    EXPECT_NEAR(block.ySeries[59], 8.0f, kTolerance);
    EXPECT_EQ(block.zSeries[59], 0.0f);
    EXPECT_NEAR(block.emfSeries[59], 10.0f, kTolerance);
    // Record 0 holds zero counts: EF count 0 is v = -14 on R0, 0.1 * -14 + 3 = 1.6, doubled.
    EXPECT_NEAR(block.efSeries[0], 3.2f, kTolerance);
    EXPECT_EQ(block.emfSeries[0], 0.0f);
    // From 3.5 on the total is the vector sum again.
    ASSERT_TRUE(DecodeFieldReply(reply, 3.5f, block));
    EXPECT_NEAR(block.emfSeries[59], 10.0f, kTolerance);
}

TEST(FieldReading, R2TotalIsTheConversionOfTheSummedCounts) {
    // 100 + 200 - 50 = 250 counts: 0.005333333 * 250 + 0.34. The vector sum of the three
    // converted axes would be about 1.62 mG.
    auto reply = ReplyWithSample(10, 0, 100, 200, -50);
    FieldBlockData block;
    ASSERT_TRUE(DecodeFieldReply(reply, 2.5f, block));
    EXPECT_NEAR(block.emfSeries[10], 1.673333f, kTolerance);
    EXPECT_NEAR(block.xSeries[10], 0.8f, kTolerance);
}

TEST(FieldReading, R2AxisSumWrapsAt32Bits) {
    auto reply = ReplyWithSample(0, 0, INT32_MAX, 1, 0);
    FieldBlockData block;
    ASSERT_TRUE(DecodeFieldReply(reply, 2.5f, block));
    EXPECT_EQ(block.emfSeries[0], 0.0f);  // wrapped to INT32_MIN, clamped
}

TEST(FieldReading, TooShortBufferLeavesTheBlockAlone) {
    std::vector<uint8_t> reply(kFieldTrailerOffset - 1, 0x10);
    FieldBlockData block;
    block.efSeries[0] = 42.0f;
    EXPECT_FALSE(DecodeFieldReply(reply, 0.0f, block));
    EXPECT_EQ(block.efSeries[0], 42.0f);
}

}  // namespace
