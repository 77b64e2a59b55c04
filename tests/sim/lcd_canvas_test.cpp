#include "sim/lcd_canvas.h"

#include <gtest/gtest.h>

namespace {

struct Corner {
    int x, y;  // from the top-left, as drawn
    size_t byte;
    uint8_t bit;
};

// Rows of the sent picture count from the bottom: byte 0 bit 0 is the bottom-left pixel.
TEST(LcdCanvas, CornersLandInTheBytesTheProgramReads) {
    const Corner corners[] = {
        {0, 63, 0, 0x01},      // bottom-left
        {127, 63, 127, 0x01},  // bottom-right
        {0, 0, 896, 0x80},     // top-left: band 7, column 0, bit 7
        {127, 0, 1023, 0x80},  // top-right
        {5, 55, 133, 0x01},    // row 8 from the bottom starts band 1
    };
    for (const Corner& c : corners) {
        LcdCanvas canvas;
        canvas.Set(c.x, c.y);
        Bytes packed = canvas.Pack();
        ASSERT_EQ(packed.size(), static_cast<size_t>(kLcdBytes));
        Bytes expected(kLcdBytes, 0);
        expected[c.byte] = c.bit;
        EXPECT_EQ(packed, expected) << c.x << "," << c.y;
    }
}

TEST(LcdCanvas, UnpackRestoresThePicture) {
    LcdCanvas canvas;
    canvas.Text(3, 20, "EMF 1.4 mG", 2);
    canvas.Frame(0, 0, 128, 64);
    EXPECT_TRUE(LcdCanvas::Unpack(canvas.Pack().data()) == canvas);
}

TEST(LcdCanvas, DrawingOutsideTheDisplayIsClipped) {
    LcdCanvas canvas;
    canvas.Fill(-10, -10, 300, 300);
    for (uint8_t b : canvas.Pack())
        EXPECT_EQ(b, 0xFF);
    canvas.Invert(120, 60, 50, 50);
    EXPECT_FALSE(canvas.Get(127, 63));
    EXPECT_TRUE(canvas.Get(119, 63));
}

TEST(LcdCanvas, TextIsFiveColumnsInSixAndScales) {
    EXPECT_EQ(LcdCanvas::TextWidth("A"), 5);
    EXPECT_EQ(LcdCanvas::TextWidth("mG"), 11);
    EXPECT_EQ(LcdCanvas::TextWidth("0.7", 2), 34);
    LcdCanvas canvas;
    EXPECT_EQ(canvas.Text(10, 0, "I"), 16);
    // "I": .###. on its top row, ..#.. below it.
    EXPECT_FALSE(canvas.Get(10, 0));
    EXPECT_TRUE(canvas.Get(11, 0));
    EXPECT_TRUE(canvas.Get(13, 0));
    EXPECT_FALSE(canvas.Get(11, 1));
    EXPECT_TRUE(canvas.Get(12, 1));
}

TEST(LcdCanvas, EveryPrintableCharacterHasAGlyph) {
    for (char c = ' '; c <= '~'; ++c)
        EXPECT_NE(GlyphRows(c), nullptr) << c;
    EXPECT_EQ(GlyphRows('\x7F'), nullptr);
    // Descenders use the eighth row.
    EXPECT_NE(GlyphRows('g')[7], 0);
    EXPECT_EQ(GlyphRows('a')[7], 0);
}

}  // namespace
