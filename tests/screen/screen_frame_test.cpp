#include "screen/screen_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

namespace {

using Pixels = std::array<uint8_t, 1024>;

bool IsColour(RgbColour actual, RgbColour expected) {
    return actual.red == expected.red && actual.green == expected.green &&
           actual.blue == expected.blue;
}

}  // namespace

TEST(ScreenFrame, IsValidOnlyWithItsTrailer) {
    std::array<uint8_t, 1025> frame{};
    EXPECT_FALSE(ScreenFrameValid(frame.data()));
    frame[1024] = 0xAA;
    EXPECT_TRUE(ScreenFrameValid(frame.data()));
}

TEST(ScreenFrame, BitsMapToColumnAndRowFromBottom) {
    struct Case {
        size_t byte;
        int bit, column, row;
    };
    const Case cases[] = {
        {0, 0, 0, 0},    {0, 7, 0, 7},       {127, 0, 127, 0}, {128, 0, 0, 8},
        {896, 7, 0, 63}, {1023, 7, 127, 63}, {394, 5, 10, 29},
    };
    for (const Case& c : cases) {
        Pixels pixels{};
        pixels[c.byte] = static_cast<uint8_t>(1 << c.bit);
        for (int column = 0; column < 128; ++column)
            for (int row = 0; row < 64; ++row)
                ASSERT_EQ(ScreenPixelSet(pixels.data(), column, row),
                          column == c.column && row == c.row)
                    << "byte " << c.byte << " bit " << c.bit;
    }
}

TEST(ScreenFrame, MirrorImageIsThreeTimesTheScreenTopRowFirst) {
    struct Case {
        size_t byte;
        uint8_t value;
        int left, top;  // the 3 × 3 ink block in image pixels
    };
    const Case cases[] = {
        {0, 0x01, 0, 189},      // bottom-left: image rows 189…191
        {127, 0x01, 381, 189},  // bottom-right
        {1023, 0x80, 381, 0},   // top-right
        {896, 0x80, 0, 0},      // top-left
    };
    for (const Case& c : cases) {
        Pixels pixels{};
        pixels[c.byte] = c.value;
        const RgbImage image = ScreenToRgbImage(pixels.data(), 3);
        ASSERT_EQ(image.width, 384);
        ASSERT_EQ(image.height, 192);
        ASSERT_EQ(image.rgb.size(), 384u * 192 * 3);
        for (int y = 0; y < 192; ++y) {
            for (int x = 0; x < 384; ++x) {
                const bool ink = x >= c.left && x < c.left + 3 && y >= c.top && y < c.top + 3;
                ASSERT_TRUE(IsColour(image.At(x, y), ink ? ScreenInkColour : ScreenPaperColour))
                    << "byte " << c.byte << " x " << x << " y " << y;
            }
        }
    }
}

TEST(ScreenFrame, ColoursAreTheMetersInkAndPaper) {
    Pixels pixels{};
    pixels[0] = 0x01;
    const RgbImage image = ScreenToRgbImage(pixels.data(), 4);
    ASSERT_EQ(image.width, 512);
    ASSERT_EQ(image.height, 256);
    EXPECT_TRUE(IsColour(image.At(0, 255), {45, 45, 45}));
    EXPECT_TRUE(IsColour(image.At(4, 255), {180, 200, 253}));
    EXPECT_TRUE(ScreenToRgbImage(pixels.data(), 0).rgb.empty());
}
