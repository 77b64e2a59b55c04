// Classification of the identification reply, name and revision, and the frame.

#include <gtest/gtest.h>

#include <cstring>

#include "link/command_frame.h"
#include "link/meter_identity.h"

namespace {

struct Reply {
    uint8_t bytes[kIdentifyBufferSize] = {};
    explicit Reply(const char* text) {
        std::memcpy(bytes, text, std::min<size_t>(std::strlen(text), 20));
    }
};

TEST(Classification, EachTokenGivesItsModelOnBothPaths) {
    struct Case {
        const char* reply;
        int model;
    };
    const Case cases[] = {
        {"ZTX420R 1.00", 1}, {"ZTX420+R 1.00", 2},  {"ZTX430R 3.20", 3}, {"ZTX440R 3.60", 4},
        {"VXQ R 2.00", 4},   {"ZTX-8800R 2.10", 5}, {"TKL R 3.00", 6},   {"hello", 0},
    };
    for (const Case& c : cases) {
        Reply r(c.reply);
        EXPECT_EQ(ClassifyReply(r.bytes, 20, ClassifyOrder::Identify), c.model) << c.reply;
        EXPECT_EQ(ClassifyReply(r.bytes, 20, ClassifyOrder::Scan), c.model) << c.reply;
    }
}

TEST(Classification, ZTX420PlusNeverGivesZTX420) {
    Reply r("xZTX420+ ZTX420");
    EXPECT_EQ(ClassifyReply(r.bytes, 20, ClassifyOrder::Identify), kModelZtx420Plus);
    EXPECT_EQ(ClassifyReply(r.bytes, 20, ClassifyOrder::Scan), kModelZtx420Plus);
}

TEST(Classification, VxqWithZtx430DependsOnThePath) {
    Reply r("VXQ ZTX430R 1.00");
    EXPECT_EQ(ClassifyReply(r.bytes, 20, ClassifyOrder::Identify), kModelZtx440);
    EXPECT_EQ(ClassifyReply(r.bytes, 20, ClassifyOrder::Scan), kModelZtx430);
}

TEST(Classification, TokensBeyondByte20AreNotSeen) {
    uint8_t bytes[kIdentifyBufferSize] = {};
    std::memcpy(bytes, "....................TKL", 23);
    EXPECT_EQ(ClassifyReply(bytes, 32, ClassifyOrder::Identify), kModelNone);
    std::memcpy(bytes, "..................TKL", 21);
    EXPECT_EQ(ClassifyReply(bytes, 32, ClassifyOrder::Identify), kModelNone);  // cut at 20
    std::memcpy(bytes, ".................TKL", 20);
    EXPECT_EQ(ClassifyReply(bytes, 32, ClassifyOrder::Identify), kModelTkl);
}

TEST(NameAndRevision, ParsedAroundTheFirstR) {
    struct Case {
        const char* reply;
        const char* name;
        float revision;
    };
    const Case cases[] = {
        {"ZTX440R 3.60", "ZTX440", 3.60f},    {"ZTX440Rv2.5", "ZTX440", 2.5f},
        {"ZTX430R:  1.25x", "ZTX430", 1.25f},  // blanks skipped, trailing text ignored
        {"TKL Rev 3.00", "TKL ", 0.0f},        // "Rev": the number would start at "v"
        {"ZTX420", "ZTX420", 0.0f},            // no R at all
        {"ZTX420+R", "ZTX420+", 0.0f},         // nothing after R
        {"ZTX440R +2.5.1", "ZTX440", 2.5f},    // the longest decimal at the start
        {"ZTX440R nan", "ZTX440", 0.0f},       // no decimal: neither "nan" nor "0x1A" is one
    };
    for (const Case& c : cases) {
        Reply r(c.reply);
        EXPECT_EQ(ParseMeterName(r.bytes), c.name) << c.reply;
        EXPECT_FLOAT_EQ(ParseFirmwareRevision(r.bytes), c.revision) << c.reply;
    }
}

TEST(NameAndRevision, DeviceMessageHasTwoDecimals) {
    EXPECT_EQ(DeviceMessage("ZTX440", 3.6f), "Device:\n\nZTX440Re 3.60");
    EXPECT_EQ(DeviceMessage("ZTX420", 0.0), "Device:\n\nZTX420Re 0.00");
}

TEST(CommandFrame, NameAndBinaryParametersBetweenTheMarks) {
    EXPECT_EQ(HexString(BuildFrame("KEY0")), "3C 4B 45 59 30 3E 3E");
    EXPECT_EQ(BuildFrame("GETVER").size(), 9u);
    EXPECT_EQ(BuildFrame("GETSCREEN").size(), 12u);
    EXPECT_EQ(BuildFrame("KEYHOLD1").size(), 11u);
    EXPECT_EQ(BuildFrame("GETEMFDATA").size(), 13u);
    EXPECT_EQ(BuildFrame("GETBANDDATAHEX").size(), 17u);
    Bytes clock = BuildFrame("SETDATETIME", {0x1A, 0x0C, 0x1F, 0x17, 0x3B, 0x3B});
    EXPECT_EQ(clock.size(), 20u);
    EXPECT_EQ(HexString(clock.data() + 12, 8), "1A 0C 1F 17 3B 3B 3E 3E");
}

}  // namespace
