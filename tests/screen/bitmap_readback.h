#pragma once
// Reads a screen bitmap file back the way a bitmap reader does (header fields, bottom-up rows
// of blue, green, red) and compares it with the screen bytes it should show. Shared by the
// screen, screen window and command-line tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/file_text.h"

namespace bitmap_readback {

using FileBytes = std::vector<uint8_t>;

inline constexpr size_t kScreenBitmapSize = 393270;
inline constexpr uint8_t kInkBgr[3] = {0x2D, 0x2D, 0x2D};
inline constexpr uint8_t kPaperBgr[3] = {0xFD, 0xC8, 0xB4};

inline uint32_t LittleEndian(const FileBytes& file, size_t at, int width) {
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | file[at + static_cast<size_t>(i)];
    return value;
}

// A 512 × 256, 24-bit, uncompressed, bottom-up bitmap of exactly 393,270 bytes.
inline ::testing::AssertionResult IsScreenBitmap(const FileBytes& file) {
    if (file.size() != kScreenBitmapSize)
        return ::testing::AssertionFailure() << "file is " << file.size() << " bytes";
    if (file[0] != 'B' || file[1] != 'M') return ::testing::AssertionFailure() << "no BM";
    struct Field {
        size_t at;
        int width;
        uint32_t value;
    };
    const Field fields[] = {
        {2, 4, 393270}, {10, 4, 54}, {14, 4, 40}, {18, 4, 512},
        {22, 4, 256},   {26, 2, 1},  {28, 2, 24}, {30, 4, 0},
    };
    for (const Field& f : fields)
        if (LittleEndian(file, f.at, f.width) != f.value)
            return ::testing::AssertionFailure()
                   << "offset " << f.at << " holds " << LittleEndian(file, f.at, f.width);
    return ::testing::AssertionSuccess();
}

// The stored pixel `x` of stored row `row` (row 0 is the bottom of the image) is `bgr`.
inline bool StoredPixelIs(const FileBytes& file, int x, int row, const uint8_t* bgr) {
    const size_t rowSize = (512 * 3 + 3) / 4 * 4;
    const size_t at =
        LittleEndian(file, 10, 4) + static_cast<size_t>(row) * rowSize + static_cast<size_t>(x) * 3;
    return file[at] == bgr[0] && file[at + 1] == bgr[1] && file[at + 2] == bgr[2];
}

// Every image pixel is the colour of the screen pixel it enlarges: image column x shows
// screen column x / 4, stored row y shows screen row y / 4 from the bottom, which is bit
// (row % 8) of byte (row / 8) · 128 + column.
inline ::testing::AssertionResult ShowsScreen(const FileBytes& file, const uint8_t* pixels1024) {
    if (auto header = IsScreenBitmap(file); !header) return header;
    for (int row = 0; row < 256; ++row) {
        for (int x = 0; x < 512; ++x) {
            const int screenRow = row / 4, column = x / 4;
            const bool ink = pixels1024[screenRow / 8 * 128 + column] >> (screenRow % 8) & 1;
            if (!StoredPixelIs(file, x, row, ink ? kInkBgr : kPaperBgr))
                return ::testing::AssertionFailure() << "stored row " << row << ", x " << x
                                                     << " should be " << (ink ? "ink" : "paper");
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace bitmap_readback
