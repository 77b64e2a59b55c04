#include "screen/screen_frame.h"

#include "link/command_frame.h"

bool ScreenFrameValid(const uint8_t* frame1025) {
    return frame1025[kScreenTrailerOffset] == kReplyTrailer;
}

bool ScreenPixelSet(const uint8_t* pixels1024, int column, int rowFromBottom) {
    const int band = rowFromBottom / kScreenBandHeight;
    const int bit = rowFromBottom % kScreenBandHeight;
    return (pixels1024[kScreenWidth * band + column] >> bit) & 1;
}

RgbColour RgbImage::At(int x, int yFromTop) const {
    const size_t at = (static_cast<size_t>(yFromTop) * width + x) * 3;
    return {rgb[at], rgb[at + 1], rgb[at + 2]};
}

RgbImage ScreenToRgbImage(const uint8_t* pixels1024, int scale) {
    if (scale < 1) return {};
    RgbImage image{kScreenWidth * scale, kScreenHeight * scale, {}};
    image.rgb.reserve(static_cast<size_t>(image.width) * image.height * 3);
    for (int y = 0; y < image.height; ++y) {
        const int rowFromBottom = kScreenHeight - 1 - y / scale;
        for (int x = 0; x < image.width; ++x) {
            const RgbColour colour = ScreenPixelSet(pixels1024, x / scale, rowFromBottom)
                                         ? ScreenInkColour
                                         : ScreenPaperColour;
            image.rgb.insert(image.rgb.end(), {colour.red, colour.green, colour.blue});
        }
    }
    return image;
}
