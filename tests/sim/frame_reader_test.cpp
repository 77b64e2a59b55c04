#include "sim/meter_commands.h"

#include <gtest/gtest.h>

namespace {

Bytes B(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct FrameCase {
    const char* what;
    Bytes received;
    std::vector<std::string> names;
    Bytes firstParams;
};

TEST(FrameReader, CutsFramesAsTheFirmwareDoes) {
    const FrameCase cases[] = {
        {"plain", B("<GETVER>>"), {"GETVER"}, {}},
        {"noise before", B(std::string("\x00\x13zz<GETVER>>", 13)), {"GETVER"}, {}},
        {"doubled start", B("<<GETVER>>"), {"GETVER"}, {}},
        {"two in one read", B("<KEY1>><GETSCREEN>>"), {"KEY1", "GETSCREEN"}, {}},
        {"clock frame",
         Cat({B("<SETDATETIME"), {0x1A, 0x0C, 0x1F, 0x17, 0x3B, 0x3B}, B(">>")}),
         {"SETDATETIME"},
         {0x1A, 0x0C, 0x1F, 0x17, 0x3B, 0x3B}},
        {"parameters holding >>",
         Cat({B("<SETDATETIME"), {0x3E, 0x3E, 0x01, 0x01, 0x00, 0x00}, B(">>")}),
         {"SETDATETIME"},
         {0x3E, 0x3E, 0x01, 0x01, 0x00, 0x00}},
        {"memory read",
         Cat({B("<SPIR"), {0x00, 0x30, 0x00, 0x10, 0x00}, B(">>")}),
         {"SPIR"},
         {0x00, 0x30, 0x00, 0x10, 0x00}},
        {"page write by its length",
         Cat({B("<SPIPW"), {0, 0, 0, 0, 2, 0x55, 0xAA}, B(">>")}),
         {"SPIPW"},
         {0, 0, 0, 0, 2, 0x55, 0xAA}},
        {"key with stray parameter", Cat({B("<KEY0"), {0xAB}, B(">>")}), {"KEY0"}, {0xAB}},
        {"longer name wins", B("<GETEMFDATA>><GETEMF>>"), {"GETEMFDATA", "GETEMF"}, {}},
        {"slot digits", B("<GETSSN2>><GETSS2>>"), {"GETSSN2", "GETSS2"}, {}},
        {"unknown name", B("<HELLO>>"), {"HELLO"}, {}},
    };
    for (const FrameCase& c : cases) {
        FrameReader reader;
        auto frames = reader.Feed(c.received, 0);
        ASSERT_EQ(frames.size(), c.names.size()) << c.what;
        for (size_t i = 0; i < frames.size(); ++i)
            EXPECT_EQ(frames[i].name, c.names[i]) << c.what;
        EXPECT_EQ(frames[0].params, c.firstParams) << c.what;
        EXPECT_EQ(reader.Pending(), 0u) << c.what;
    }
}

TEST(FrameReader, UnknownNameHasNoSpecAndKnownOnesTheirDigit) {
    FrameReader reader;
    auto frames = reader.Feed(B("<HELLO>><GETSS3>><KEYHOLD2>>"), 0);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[0].command, nullptr);
    EXPECT_EQ(frames[1].command->id, CommandId::GetShot);
    EXPECT_EQ(frames[1].command->digit, 3);
    EXPECT_EQ(frames[2].command->id, CommandId::KeyHold);
    EXPECT_EQ(frames[2].command->digit, 2);
}

// The clock frame arrives one byte every 15 ms.
TEST(FrameReader, FrameSentByteByByteIsWhole) {
    FrameReader reader;
    const Bytes frame = Cat({B("<SETDATETIME"), {0x1A, 0x0C, 0x1F, 0x17, 0x3B, 0x3B}, B(">>")});
    std::vector<ReceivedFrame> frames;
    for (size_t i = 0; i < frame.size(); ++i) {
        auto got = reader.Feed(&frame[i], 1, static_cast<int64_t>(i) * 15);
        frames.insert(frames.end(), got.begin(), got.end());
    }
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].raw, frame);
}

TEST(FrameReader, StaleHalfFrameIsDroppedBeforeTheNextCommand) {
    FrameReader reader;
    EXPECT_TRUE(reader.Feed(Cat({B("<SPIR"), {0x00, 0x00}}), 1000).empty());
    EXPECT_EQ(reader.StaleAtMs(), 1000 + kStaleFrameMs);
    auto frames = reader.Feed(B("<GETVER>>"), 1000 + kStaleFrameMs);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].name, "GETVER");
}

TEST(FrameReader, HalfFrameStillGrowingIsKept) {
    FrameReader reader;
    EXPECT_TRUE(reader.Feed(B("<GETV"), 1000).empty());
    auto frames = reader.Feed(B("ER>>"), 1000 + kStaleFrameMs - 1);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].name, "GETVER");
}

TEST(FrameReader, OverlongFrameIsAbandonedForTheNextStart) {
    FrameReader reader;
    const Bytes junk = B("<" + std::string(40, 'x'));
    EXPECT_TRUE(reader.Feed(junk, 0).empty());
    auto frames = reader.Feed(B("<KEY3>>"), 1);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].name, "KEY3");
}

}  // namespace
