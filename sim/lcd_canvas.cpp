#include "sim/lcd_canvas.h"

namespace {

constexpr int kGlyphColumns = 5;
constexpr int kBandRows = 8;

bool Inside(int x, int y) {
    return x >= 0 && x < kLcdWidth && y >= 0 && y < kLcdHeight;
}
size_t IndexOf(int x, int y) {
    return static_cast<size_t>(y * kLcdWidth + x);
}

}  // namespace

void LcdCanvas::Set(int x, int y, bool ink) {
    if (Inside(x, y)) pixels_[IndexOf(x, y)] = ink;
}

bool LcdCanvas::Get(int x, int y) const {
    return Inside(x, y) && pixels_[IndexOf(x, y)];
}

void LcdCanvas::HLine(int x0, int x1, int y) {
    for (int x = x0; x <= x1; ++x)
        Set(x, y);
}

void LcdCanvas::VLine(int x, int y0, int y1) {
    for (int y = y0; y <= y1; ++y)
        Set(x, y);
}

void LcdCanvas::Frame(int x, int y, int width, int height) {
    HLine(x, x + width - 1, y);
    HLine(x, x + width - 1, y + height - 1);
    VLine(x, y, y + height - 1);
    VLine(x + width - 1, y, y + height - 1);
}

void LcdCanvas::Fill(int x, int y, int width, int height, bool ink) {
    for (int row = y; row < y + height; ++row)
        for (int col = x; col < x + width; ++col)
            Set(col, row, ink);
}

void LcdCanvas::Invert(int x, int y, int width, int height) {
    for (int row = y; row < y + height; ++row)
        for (int col = x; col < x + width; ++col)
            if (Inside(col, row)) pixels_.flip(IndexOf(col, row));
}

int LcdCanvas::Text(int x, int y, const std::string& text, int scale) {
    for (char c : text) {
        if (const uint8_t* rows = GlyphRows(c)) {
            for (int row = 0; row < kGlyphHeight; ++row)
                for (int col = 0; col < kGlyphColumns; ++col)
                    if (rows[row] & (0x10 >> col))
                        Fill(x + col * scale, y + row * scale, scale, scale);
        }
        x += kGlyphAdvance * scale;
    }
    return x;
}

int LcdCanvas::TextWidth(const std::string& text, int scale) {
    // The gap after the last character is not part of the text.
    return text.empty() ? 0 : (static_cast<int>(text.size()) * kGlyphAdvance - 1) * scale;
}

Bytes LcdCanvas::Pack() const {
    Bytes packed(kLcdBytes, 0);
    for (int y = 0; y < kLcdHeight; ++y) {
        const int fromBottom = kLcdHeight - 1 - y;
        for (int x = 0; x < kLcdWidth; ++x)
            if (Get(x, y))
                packed[static_cast<size_t>(fromBottom / kBandRows * kLcdWidth + x)] |=
                    static_cast<uint8_t>(1 << (fromBottom % kBandRows));
    }
    return packed;
}

LcdCanvas LcdCanvas::Unpack(const uint8_t* packed) {
    LcdCanvas canvas;
    for (int y = 0; y < kLcdHeight; ++y) {
        const int fromBottom = kLcdHeight - 1 - y;
        for (int x = 0; x < kLcdWidth; ++x)
            canvas.Set(
                x, y,
                packed[fromBottom / kBandRows * kLcdWidth + x] >> (fromBottom % kBandRows) & 1);
    }
    return canvas;
}
