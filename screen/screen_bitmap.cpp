#include "screen/screen_bitmap.h"

#include <cstdio>

#include "link/meter_identity.h"
#include "measure/measurement_file.h"
#include "measure/whole_file.h"
#include "screen/screen_frame.h"

namespace {

constexpr uint16_t kBitmapSignature = 0x4D42;  // "BM" read as a little-endian word
constexpr uint16_t kPlanes = 1;
constexpr uint16_t kBitsPerPixel = 24;
constexpr uint8_t kFirstStoredYear = 19;  // a year byte below this marks an empty slot
constexpr uint8_t kErasedByte = 0xFF;

void PutLittleEndian(Bytes& out, uint32_t value, int width) {
    for (int i = 0; i < width; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutHeaders(Bytes& out) {
    using File = ScreenBitmapFile;
    // file header
    PutLittleEndian(out, kBitmapSignature, 2);
    PutLittleEndian(out, File::kFileSize, 4);
    PutLittleEndian(out, 0, 4);  // two reserved words
    PutLittleEndian(out, File::kPixelOffset, 4);
    // information header
    PutLittleEndian(out, File::kInfoHeaderSize, 4);
    PutLittleEndian(out, File::kWidth, 4);
    PutLittleEndian(out, File::kHeight, 4);  // positive: bottom row first
    PutLittleEndian(out, kPlanes, 2);
    PutLittleEndian(out, kBitsPerPixel, 2);
    for (int field = 0; field < 6; ++field)  // compression, image size, resolutions, colours
        PutLittleEndian(out, 0, 4);
}

// One stored row for the screen row `rowFromBottom`: blue, green, red per pixel.
void PutPixelRow(Bytes& out, const uint8_t* pixels1024, int rowFromBottom) {
    for (int column = 0; column < kScreenWidth; ++column) {
        const RgbColour colour =
            ScreenPixelSet(pixels1024, column, rowFromBottom) ? ScreenInkColour : ScreenPaperColour;
        for (int repeat = 0; repeat < ScreenBitmapFile::kScale; ++repeat)
            out.insert(out.end(), {colour.blue, colour.green, colour.red});
    }
}

}  // namespace

Bytes ScreenBitmapBytes(const uint8_t* pixels1024) {
    Bytes out;
    out.reserve(ScreenBitmapFile::kFileSize);
    PutHeaders(out);
    Bytes row;
    row.reserve(ScreenBitmapFile::kRowSize);
    for (int rowFromBottom = 0; rowFromBottom < kScreenHeight; ++rowFromBottom) {
        row.clear();
        PutPixelRow(row, pixels1024, rowFromBottom);
        for (int repeat = 0; repeat < ScreenBitmapFile::kScale; ++repeat)
            out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

bool WriteScreenBitmapFile(const std::string& path, const uint8_t* pixels1024, std::string* error) {
    const Bytes bytes = ScreenBitmapBytes(pixels1024);
    std::string reason;
    const bool written = WriteFileWhole(
        path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), &reason);
    if (error) *error = written ? "" : reason;
    return written;
}

std::string BitmapFileName(const std::string& chosenPath) {
    return WithExtension(chosenPath, ".bmp");
}

Bytes ScreenshotInfoRequest(char slot) {
    return BuildFrame(std::string("GETSSN") + slot);
}

Bytes ScreenshotPixelsRequest(char slot) {
    return BuildFrame(std::string("GETSS") + slot);
}

bool ScreenshotInfoValid(const uint8_t* info7) {
    return info7[kScreenshotInfoTrailerOffset] == kReplyTrailer;
}

bool ScreenshotSlotEmpty(const uint8_t* info7) {
    return info7[0] < kFirstStoredYear || info7[0] == kErasedByte;
}

std::string ScreenshotDefaultName(char slot, const uint8_t* info7) {
    char name[64];
    std::snprintf(name, sizeof name, "emfscreenshot%c_%02d%02d%02d_%02d%02d%02d", slot, info7[2],
                  info7[1], info7[0], info7[3], info7[4], info7[5]);
    return name;
}

bool ScreenshotDownloadAllowed(int model) {
    return model == kModelZtx440 || model == kModelZtx8800 || model == kModelTkl;
}

bool SaveScreenAllowed(int model) {
    return model == kModelZtx440 || model == kModelZtx8800;
}
