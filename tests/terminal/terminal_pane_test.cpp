#include "terminal/terminal_pane.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::string HexOf(const std::vector<uint8_t>& bytes, size_t from) {
    std::string text;
    const char digits[] = "0123456789ABCDEF";
    for (size_t i = from; i < bytes.size(); ++i)
        text += {digits[bytes[i] >> 4], digits[bytes[i] & 15], ' '};
    return text;
}

}  // namespace

TEST(TerminalPane, StartsOverOnlyWhenMoreThanHalfTheLimitIsCounted) {
    struct Case {
        const char* pane;
        const char* after;
    };
    const Case cases[] = {
        // limit 10: half is 5
        {"", "X"},
        {"abcd", "abcdX"},
        {"abcde", "abcdeX"},
        {"abcdef", "X"},
        {"abc\r\nde", "abc\r\ndeX"},  // the line break does not count
        {"ab\ncd\ref", "X"},          // lone LF and CR are breaks too: 6 counted
        {"\r\n\r\n\r\n\r\n", "\r\n\r\n\r\n\r\nX"},
    };
    for (const Case& c : cases) {
        std::string pane = c.pane;
        AppendToPane(pane, "X", 10);
        EXPECT_EQ(pane, c.after) << c.pane;
    }
}

TEST(TerminalPane, RealLimitStartsOverPast262143Characters) {
    std::string pane(262143, 'a');
    AppendToPane(pane, "b");
    EXPECT_EQ(pane.size(), 262144u);
    AppendToPane(pane, "c");
    EXPECT_EQ(pane, "c");
}

TEST(TerminalPane, ByteTextsForEachPane) {
    EXPECT_EQ(HexPaneText(0x00), "00 ");
    EXPECT_EQ(HexPaneText(0x0A), "0A ");
    EXPECT_EQ(HexPaneText(0xFF), "FF ");
    EXPECT_EQ(CharacterPaneText('A'), "A");
    EXPECT_EQ(CharacterPaneText('\r'), "\r");
    EXPECT_EQ(CharacterPaneText(0xE9), "\xE9");
    EXPECT_EQ(CharacterPaneText(0x00), "");
}

TEST(TerminalPane, NulByteEmptiesAnOverHalfCharacterPane) {
    std::string hex, text = "abcdef";
    const uint8_t nul = 0x00;
    const PaneAppendResult result = AppendBytesToPanes(hex, text, &nul, 1, 10);
    EXPECT_EQ(hex, "00 ");
    EXPECT_EQ(text, "");
    EXPECT_FALSE(result.hexStartedOver);
    EXPECT_TRUE(result.textStartedOver);
}

TEST(TerminalPane, FloodLeavesTheTailSinceTheLastStartOver) {
    std::vector<uint8_t> flood(300000);
    for (size_t i = 0; i < flood.size(); ++i)
        flood[i] = static_cast<uint8_t>('A' + i % 26);
    // The hexadecimal pane counts 3 per byte: it starts over at bytes 87382, 174764 and
    // 262146 (3 · 87382 = 262146 > 262143). The character pane starts over at byte 262144.
    const std::string hexTail = HexOf(flood, 262146);
    const std::string textTail(flood.begin() + 262144, flood.end());

    std::string hex, text;
    const PaneAppendResult result = AppendBytesToPanes(hex, text, flood.data(), flood.size());
    EXPECT_TRUE(result.hexStartedOver);
    EXPECT_TRUE(result.textStartedOver);
    EXPECT_EQ(hex, hexTail);
    EXPECT_EQ(text, textTail);

    std::string hexInBatches, textInBatches;
    for (size_t at = 0; at < flood.size(); at += 1000)
        AppendBytesToPanes(hexInBatches, textInBatches, flood.data() + at, 1000);
    EXPECT_EQ(hexInBatches, hexTail);
    EXPECT_EQ(textInBatches, textTail);
}

TEST(TerminalPane, BatchesMatchOneByteAtATime) {
    for (unsigned seed = 1; seed <= 60; ++seed) {
        std::mt19937 random(seed);
        auto pick = [&](int low, int high) {
            return std::uniform_int_distribution<int>(low, high)(random);
        };
        const size_t limit = static_cast<size_t>(pick(2, 300));
        const char breaks[] = {'\r', '\n', '\0', 'x'};
        std::vector<uint8_t> bytes(static_cast<size_t>(pick(0, 2000)));
        for (uint8_t& b : bytes)
            b = pick(0, 2) ? static_cast<uint8_t>(pick(0, 255))
                           : static_cast<uint8_t>(breaks[pick(0, 3)]);

        std::string hexOne(static_cast<size_t>(pick(0, 200)), 'h'), textOne = "ab\r\ncd";
        std::string hexBatch = hexOne, textBatch = textOne;
        for (const uint8_t b : bytes) {
            AppendToPane(hexOne, HexPaneText(b), limit);
            AppendToPane(textOne, CharacterPaneText(b), limit);
        }
        for (size_t at = 0; at < bytes.size();) {
            const size_t batch = std::min(bytes.size() - at, static_cast<size_t>(pick(1, 150)));
            AppendBytesToPanes(hexBatch, textBatch, bytes.data() + at, batch, limit);
            at += batch;
        }
        ASSERT_EQ(hexBatch, hexOne) << "seed " << seed;
        ASSERT_EQ(textBatch, textOne) << "seed " << seed;
    }
}
