#include "screen/screen_bitmap.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/file_text.h"
#include "tests/support/temp_dir.h"

namespace {

using Pixels = std::array<uint8_t, 1024>;

uint32_t Field(const Bytes& file, size_t at, int width) {
    uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | file[at + i];
    return value;
}

// The header as a bitmap reader sees it; the pixels start where the header says.
void ExpectScreenBitmapHeader(const Bytes& file) {
    ASSERT_EQ(file.size(), 393270u);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    const std::pair<size_t, uint32_t> fields[] = {
        {2, 393270}, {6, 0},  {10, 54}, {14, 40}, {18, 512}, {22, 256},
        {30, 0},     {34, 0}, {38, 0},  {42, 0},  {46, 0},   {50, 0},
    };
    for (const auto& [at, value] : fields)
        EXPECT_EQ(Field(file, at, 4), value) << "offset " << at;
    EXPECT_EQ(Field(file, 26, 2), 1u);   // planes
    EXPECT_EQ(Field(file, 28, 2), 24u);  // bits per pixel
}

enum class Colour { Ink, Paper, Other };

// Pixel `x` of stored row `row` (row 0 is the bottom of the image).
Colour StoredPixel(const Bytes& file, int x, int row) {
    const size_t at = 54 + static_cast<size_t>(row) * 1536 + static_cast<size_t>(x) * 3;
    if (file[at] == 0x2D && file[at + 1] == 0x2D && file[at + 2] == 0x2D) return Colour::Ink;
    if (file[at] == 0xFD && file[at + 1] == 0xC8 && file[at + 2] == 0xB4) return Colour::Paper;
    return Colour::Other;
}

}  // namespace

TEST(ScreenBitmap, BlankScreenIsAllPaper) {
    TempDir dir;
    const Pixels blank{};
    ASSERT_TRUE(WriteScreenBitmapFile(dir.File("shot.bmp"), blank.data()));
    const Bytes file = ReadFileBytes(dir.File("shot.bmp"));
    ExpectScreenBitmapHeader(file);
    for (size_t at = 54; at < file.size(); at += 3) {
        ASSERT_EQ(file[at], 0xFD) << at;
        ASSERT_EQ(file[at + 1], 0xC8) << at;
        ASSERT_EQ(file[at + 2], 0xB4) << at;
    }
}

TEST(ScreenBitmap, EachScreenPixelIsAFourByFourBlock) {
    struct Case {
        size_t byte;
        uint8_t value;
        int firstX, firstRow;  // the ink block in image columns and stored rows
    };
    const Case cases[] = {
        {0, 0x01, 0, 0},         // bottom-left
        {127, 0x01, 508, 0},     // bottom-right
        {896, 0x80, 0, 252},     // top-left
        {1023, 0x80, 508, 252},  // top-right
        {394, 0x20, 40, 116},    // column 10, row 3·8 + 5 = 29
    };
    for (const Case& c : cases) {
        Pixels pixels{};
        pixels[c.byte] = c.value;
        const Bytes file = ScreenBitmapBytes(pixels.data());
        ExpectScreenBitmapHeader(file);
        for (int row = 0; row < 256; ++row) {
            for (int x = 0; x < 512; ++x) {
                const bool inBlock =
                    x >= c.firstX && x < c.firstX + 4 && row >= c.firstRow && row < c.firstRow + 4;
                ASSERT_EQ(StoredPixel(file, x, row), inBlock ? Colour::Ink : Colour::Paper)
                    << "byte " << c.byte << " x " << x << " row " << row;
            }
        }
    }
}

TEST(ScreenBitmap, FullScreenIsAllInk) {
    Pixels pixels;
    pixels.fill(0xFF);
    const Bytes file = ScreenBitmapBytes(pixels.data());
    ExpectScreenBitmapHeader(file);
    for (size_t at = 54; at < file.size(); ++at)
        ASSERT_EQ(file[at], 0x2D) << at;
}

TEST(ScreenBitmap, ExistingFileIsReplaced) {
    TempDir dir;
    const std::string path = dir.File("old.bmp");
    std::ofstream(path, std::ios::binary) << std::string(500000, 'x');
    const Pixels blank{};
    ASSERT_TRUE(WriteScreenBitmapFile(path, blank.data()));
    EXPECT_EQ(std::filesystem::file_size(path), 393270u);
}

TEST(ScreenBitmap, UncreatableFileFailsAndLeavesNothing) {
    TempDir dir;
    const Pixels blank{};
    const std::string inMissingFolder = dir.File("missing/shot.bmp");
    std::string error;
    EXPECT_FALSE(WriteScreenBitmapFile(inMissingFolder, blank.data(), &error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(inMissingFolder));
    EXPECT_FALSE(WriteScreenBitmapFile(dir.Path(), blank.data()));  // a folder
    EXPECT_TRUE(std::filesystem::is_directory(dir.Path()));
    EXPECT_TRUE(dir.Names().empty());  // no temporary file left beside either
}

TEST(ScreenBitmap, FileNameEndsInOneBmp) {
    const std::pair<const char*, const char*> cases[] = {
        {"shot", "shot.bmp"},
        {"shot.bmp", "shot.bmp"},
        {"a.bmp.b", "a.b.bmp"},
        {"screen", "screen.bmp"},
        {"x.bmp.bmp", "x.bmp"},
        {"shot.BMP", "shot.BMP.bmp"},
        {"/tmp/p.bmp/s", "/tmp/p/s.bmp"},
    };
    for (const auto& [chosen, saved] : cases)
        EXPECT_EQ(BitmapFileName(chosen), saved) << chosen;
}

TEST(Screenshot, DefaultNameIsSlotThenDayMonthYearThenTime) {
    const uint8_t info[7] = {0x19, 0x0C, 0x1F, 0x17, 0x3B, 0x3B, 0xAA};
    EXPECT_EQ(ScreenshotDefaultName('1', info), "emfscreenshot1_311225_235959");
    const uint8_t early[7] = {0x18, 0x01, 0x02, 0x03, 0x04, 0x05, 0xAA};
    EXPECT_EQ(ScreenshotDefaultName('4', early), "emfscreenshot4_020124_030405");
}

TEST(Screenshot, SlotIsEmptyBelowYear19OrWhenErased) {
    const std::pair<uint8_t, bool> cases[] = {
        {0x00, true}, {0x12, true}, {0x13, false}, {0x63, false}, {0xFE, false}, {0xFF, true},
    };
    for (const auto& [year, empty] : cases) {
        const uint8_t info[7] = {year, 1, 1, 0, 0, 0, 0xAA};
        EXPECT_EQ(ScreenshotSlotEmpty(info), empty) << int{year};
    }
}

TEST(Screenshot, InfoReplyIsValidWithItsTrailer) {
    uint8_t info[7] = {0x19, 0x0C, 0x1F, 0x17, 0x3B, 0x3B, 0xAA};
    EXPECT_TRUE(ScreenshotInfoValid(info));
    info[6] = 0x00;
    EXPECT_FALSE(ScreenshotInfoValid(info));
}

TEST(Screenshot, RequestsNameTheSlot) {
    EXPECT_EQ(ScreenshotInfoRequest('3'),
              (Bytes{'<', 'G', 'E', 'T', 'S', 'S', 'N', '3', '>', '>'}));
    EXPECT_EQ(ScreenshotPixelsRequest('1'), (Bytes{'<', 'G', 'E', 'T', 'S', 'S', '1', '>', '>'}));
}

TEST(Screenshot, ModelGates) {
    for (int model = 0; model <= 6; ++model) {
        EXPECT_EQ(ScreenshotDownloadAllowed(model), model >= 4) << model;
        EXPECT_EQ(SaveScreenAllowed(model), model == 4 || model == 5) << model;
    }
}
