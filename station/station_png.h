#pragma once
// The meter's display as a PNG file: 128 x 64, one bit a pixel, ink black on white, written
// without a library (one stored deflate block; the picture is 1 KB).

#include <string>

#include "station/station.h"

inline constexpr const char* kPngContentType = "image/png";

// The PNG file's bytes for a screen as GETSCREEN sends it.
std::string ScreenPng(const ScreenPicture& screen);
