#pragma once
// Small helpers for reading pixels of images and widget grabs in the widget tests.

#include <QColor>
#include <QImage>
#include <QRect>
#include <functional>

inline QRgb Rgb(int r, int g, int b) {
    return qRgb(r, g, b);
}

inline QRgb PixelAt(const QImage& image, int x, int y) {
    return image.pixel(x, y) | 0xff000000u;
}

// Pixels of `area` (clipped to the image) for which `wanted` holds.
inline int CountPixels(const QImage& image, const QRect& area,
                       const std::function<bool(QRgb)>& wanted) {
    const QRect clipped = area.intersected(image.rect());
    int count = 0;
    for (int y = clipped.top(); y <= clipped.bottom(); ++y)
        for (int x = clipped.left(); x <= clipped.right(); ++x)
            if (wanted(PixelAt(image, x, y))) ++count;
    return count;
}

inline int CountColour(const QImage& image, const QRect& area, QRgb colour) {
    return CountPixels(image, area, [colour](QRgb p) { return p == colour; });
}
