#include "measure/spectrum.h"

#include <gtest/gtest.h>

#include <vector>

#include "measure/measurement.h"

namespace {

std::vector<uint8_t> SpectrumReply(uint8_t bandMode, uint8_t offsetByte) {
    std::vector<uint8_t> reply(kSpectrumReplyLength, 0);
    for (int i = 0; i < 128; ++i)
        reply[i] = static_cast<uint8_t>(-100 + i % 20);
    const uint8_t frequencies[] = {0x00, 0x5B, 0x8D, 0x80,   // 6 000 000
                                   0x00, 0x03, 0x0D, 0x40,   // 200 000
                                   0x01, 0x02, 0x03, 0x04};  // 16 909 060
    std::copy(std::begin(frequencies), std::end(frequencies), reply.begin() + 128);
    reply[140] = bandMode;
    for (int i = 141; i < 269; ++i)
        reply[i] = offsetByte;
    return reply;
}

TEST(Spectrum, FrequenciesAreBigEndian) {
    SpectrumRecordData record;
    ASSERT_TRUE(DecodeSpectrumReply(SpectrumReply(0, 0), record));
    EXPECT_EQ(record.startHz, 6000000u);
    EXPECT_EQ(record.bandwidthHz, 200000u);
    EXPECT_EQ(record.spacingHz, 0x01020304u);
    EXPECT_EQ(record.bandMode, 0);
}

TEST(Spectrum, LevelsAreSignedBytes) {
    auto reply = SpectrumReply(0, 0);
    reply[0] = 0x9E;
    reply[127] = 0x7F;
    SpectrumRecordData record;
    ASSERT_TRUE(DecodeSpectrumReply(reply, record));
    EXPECT_EQ(record.dbm[0], -98);
    EXPECT_EQ(record.dbm[1], -99);
    EXPECT_EQ(record.dbm[127], 127);
    EXPECT_EQ(SpectrumPeak(record), 127);
}

TEST(Spectrum, ReplyRefreshesOnlyTheOffsetsOfItsMode) {
    SpectrumRecordData record;
    record.binOffset.mode0.fill(1);
    record.binOffset.mode2.fill(2);
    record.binOffset.shared.fill(3);

    ASSERT_TRUE(DecodeSpectrumReply(SpectrumReply(2, 0xFB), record));
    EXPECT_EQ(record.binOffset.mode2[0], -5);
    EXPECT_EQ(record.binOffset.mode2[127], -5);
    EXPECT_EQ(record.binOffset.mode0[0], 1);
    EXPECT_EQ(record.binOffset.shared[0], 3);

    ASSERT_TRUE(DecodeSpectrumReply(SpectrumReply(0, 7), record));
    EXPECT_EQ(record.binOffset.mode0[64], 7);
    EXPECT_EQ(record.binOffset.mode2[64], -5);

    for (uint8_t mode : {1, 4, 6, 255}) {
        ASSERT_TRUE(DecodeSpectrumReply(SpectrumReply(mode, mode), record));
        EXPECT_EQ(record.bandMode, mode);
        EXPECT_EQ(record.binOffset.shared[5], static_cast<int8_t>(mode));
        EXPECT_EQ(record.binOffset.mode0[5], 7);
        EXPECT_EQ(record.binOffset.mode2[5], -5);
    }
}

TEST(Spectrum, ShortReplyLeavesTheRecordAlone) {
    auto reply = SpectrumReply(0, 0);
    reply.pop_back();
    SpectrumRecordData record;
    EXPECT_FALSE(DecodeSpectrumReply(reply, record));
    EXPECT_EQ(record.dbm[0], -128);
    EXPECT_EQ(record.startHz, 0u);
}

TEST(Spectrum, OnlyZtx420AndZtx8800AreRefused) {
    const bool supported[] = {true, false, true, true, true, false, true};
    for (int model = 0; model <= 6; ++model)
        EXPECT_EQ(SpectrumSupported(model), supported[model]) << model;
}

TEST(Spectrum, DecodeMeasurementFollowsTheKind) {
    MeasurementBytes buffer{};
    auto reply = SpectrumReply(0, 0);
    std::copy(reply.begin(), reply.end(), buffer.begin());
    FieldBlockData field;
    field.efSeries[0] = 42.0f;
    SpectrumRecordData spectrum;

    ASSERT_TRUE(DecodeMeasurement(kKindSpectrum, buffer, 0.0f, field, spectrum));
    EXPECT_EQ(spectrum.startHz, 6000000u);
    EXPECT_EQ(field.efSeries[0], 42.0f);

    // Any non-zero kind is a spectrum; kind 0 reads the same bytes as field records.
    spectrum = SpectrumRecordData{};
    ASSERT_TRUE(DecodeMeasurement(7, buffer, 0.0f, field, spectrum));
    EXPECT_EQ(spectrum.startHz, 6000000u);

    // Record 0's EF count is then 0xA3A2A1A0, far below zero: clamped to 0 V/m.
    ASSERT_TRUE(DecodeMeasurement(kKindField, buffer, 0.0f, field, spectrum));
    EXPECT_EQ(field.efSeries[0], 0.0f);
}

}  // namespace
