#pragma once
// ScreenBitmapFile: the meter's screen as a 512 × 256, 24-bit bitmap file, each screen pixel
// a 4 × 4 block in the screen colours. Written by Download Screenshot (from a stored
// screenshot) and by Save Screen (from the last mirrored frame). Also the screenshot requests,
// names, model gates and messages of those two commands.

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/command_frame.h"

struct ScreenBitmapFile {
    static constexpr int kScale = 4;
    static constexpr int kWidth = 512;
    static constexpr int kHeight = 256;
    static constexpr size_t kFileHeaderSize = 14;
    static constexpr size_t kInfoHeaderSize = 40;
    static constexpr size_t kPixelOffset = kFileHeaderSize + kInfoHeaderSize;  // 54
    static constexpr size_t kRowSize = kWidth * 3;                             // no padding
    static constexpr size_t kFileSize = kPixelOffset + kRowSize * kHeight;     // 393,270
};

// The whole file: both headers, then 256 rows of B, G, R pixels, bottom row first.
Bytes ScreenBitmapBytes(const uint8_t* pixels1024);

// Creates or replaces the file, whole or not at all: on failure nothing is left under `path`
// and *error, when given, receives the system's reason.
bool WriteScreenBitmapFile(const std::string& path, const uint8_t* pixels1024,
                           std::string* error = nullptr);

// The chosen path without any ".bmp", then ".bmp" once: shot → shot.bmp, a.bmp.b → a.b.bmp.
std::string BitmapFileName(const std::string& chosenPath);

// Screenshot slots are the digits '1'…'4'.
inline constexpr size_t kScreenshotInfoSize = 7;  // year, month, day, hour, minute, second, 0xAA
inline constexpr size_t kScreenshotInfoTrailerOffset = 6;
inline constexpr int kScreenshotAttempts = 6;
inline constexpr int kScreenshotReplyWaitMs = 500;

// "<GETSSN" + slot + ">>", 10 bytes: when the screenshot in the slot was taken.
Bytes ScreenshotInfoRequest(char slot);
// "<GETSS" + slot + ">>", 9 bytes: its 1024 pixel bytes and the trailer 0xAA.
Bytes ScreenshotPixelsRequest(char slot);

bool ScreenshotInfoValid(const uint8_t* info7);
// The slot holds nothing when the year byte is below 19 or 0xFF.
bool ScreenshotSlotEmpty(const uint8_t* info7);
// "emfscreenshot%c_%02d%02d%02d_%02d%02d%02d": slot, day, month, year, hour, minute, second.
std::string ScreenshotDefaultName(char slot, const uint8_t* info7);

// Screenshot download works with models 4 (ZTX440, VXQ), 5 (ZTX-8800) and 6 (TKL);
// Save Screen only with 4 and 5.
bool ScreenshotDownloadAllowed(int model);
bool SaveScreenAllowed(int model);

inline constexpr const char* kScreenshotInfoFailedMessage = "Failed to download. Please try again.";
inline constexpr const char* kScreenshotNotFoundMessage = "No screenshot found on device.";
inline constexpr const char* kScreenshotDownloadFailedMessage = "Download Failed.";
inline constexpr const char* kScreenshotSavedMessage = "Screenshot Saved.";
inline constexpr const char* kScreenDrawFailedMessage = "Could not display graph!";
// The list ends at the first "||", so only the bitmap type is offered.
inline constexpr const char* kBitmapFilter = "BMP Files (*.bmp)|*.bmp||All Files (*.*)|*.*||";
