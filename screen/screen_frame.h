#pragma once
// The meter's 128 × 64 monochrome screen as "<GETSCREEN>>" and the stored screenshots deliver
// it: 1024 pixel bytes in 8 bands of 128 column bytes, band 0 at the bottom. Bit b of byte i
// is column i % 128, row 8·(i / 128) + b counted from the bottom; a set bit is ink.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr int kScreenWidth = 128;
inline constexpr int kScreenHeight = 64;
inline constexpr int kScreenBandHeight = 8;
inline constexpr size_t kScreenPixelBytes = 1024;
inline constexpr size_t kScreenFrameSize = 1025;  // pixels + trailer
inline constexpr size_t kScreenTrailerOffset = 1024;
inline constexpr int kScreenMirrorScale = 3;  // the main window shows the screen 384 × 192

// The pixel bytes of one frame, as the owner of the last mirrored one keeps it.
using ScreenPixels = std::array<uint8_t, kScreenPixelBytes>;

struct RgbColour {
    uint8_t red, green, blue;
};
inline constexpr RgbColour ScreenInkColour = {45, 45, 45};
inline constexpr RgbColour ScreenPaperColour = {180, 200, 253};

// A frame (or screenshot reply) of 1025 bytes is whole when its trailer is 0xAA.
bool ScreenFrameValid(const uint8_t* frame1025);

// Whether the pixel at `column` (0…127, from the left) and `rowFromBottom` (0…63) is ink.
bool ScreenPixelSet(const uint8_t* pixels1024, int column, int rowFromBottom);

// An RGB raster, top row first, 3 bytes per pixel in the order red, green, blue.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;

    RgbColour At(int x, int yFromTop) const;
};

// The screen enlarged `scale` times (each pixel a scale × scale block) in the screen colours:
// scale 3 for the mirror (384 × 192), 4 for the bitmap files (512 × 256). Empty below 1.
RgbImage ScreenToRgbImage(const uint8_t* pixels1024, int scale);
