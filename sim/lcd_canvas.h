#pragma once
// The meter's 128 x 64 monochrome display memory, with the few drawing operations its firmware
// uses. Coordinates are from the top-left corner, as the firmware draws; Pack turns the picture
// into the bytes the meter sends, whose rows count from the bottom.

#include <bitset>
#include <cstdint>
#include <string>

#include "link/command_frame.h"

inline constexpr int kLcdWidth = 128;
inline constexpr int kLcdHeight = 64;
inline constexpr int kLcdBytes = kLcdWidth * kLcdHeight / 8;  // 1024
inline constexpr int kGlyphAdvance = 6;                       // 5 columns and a gap
inline constexpr int kGlyphHeight = 8;                        // 7 rows and a descender row

class LcdCanvas {
  public:
    void Clear() { pixels_.reset(); }
    // Pixels outside the display are ignored (drawing is clipped).
    void Set(int x, int y, bool ink = true);
    bool Get(int x, int y) const;
    void HLine(int x0, int x1, int y);
    void VLine(int x, int y0, int y1);
    void Frame(int x, int y, int width, int height);
    void Fill(int x, int y, int width, int height, bool ink = true);
    void Invert(int x, int y, int width, int height);

    // Draws text in the 5 x 7 font from its top-left corner, each pixel scale x scale; returns
    // the x where the next character would go. Characters the font lacks draw as blanks.
    int Text(int x, int y, const std::string& text, int scale = 1);
    static int TextWidth(const std::string& text, int scale = 1);

    // The display memory as sent: byte i is column i % 128 of band i / 128; bit b of it is the
    // row 8 * band + b counted from the bottom. A set bit is a dark pixel.
    Bytes Pack() const;
    static LcdCanvas Unpack(const uint8_t* packed);

    bool operator==(const LcdCanvas& other) const { return pixels_ == other.pixels_; }

  private:
    std::bitset<kLcdWidth * kLcdHeight> pixels_;
};

// The font's rows for a character, top row first; bit 4 is the leftmost column. Null when the
// font has no such character.
const uint8_t* GlyphRows(char c);
