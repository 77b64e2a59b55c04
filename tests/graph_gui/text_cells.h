#pragma once
// Checks a text in a plot image against the same text drawn alone: the cell at (x, y), as
// wide as the text and one line high, must hold exactly the pixels of the reference.

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <set>
#include <string>

#include "graph/offscreen_dc.h"
#include "tests/support/pixel_checks.h"

inline QRect TextCell(int x, int y, const std::string& text) {
    const QFontMetrics metrics(COffscreenDC::SystemFont());
    return QRect(x, y, metrics.horizontalAdvance(QString::fromLatin1(text.c_str())),
                 metrics.height());
}

// `skipColumns` are columns a later line crosses the text on.
inline ::testing::AssertionResult TextAt(const QImage& image, int x, int y, const std::string& text,
                                         QColor colour = Qt::black,
                                         const std::set<int>& skipColumns = {}) {
    auto reference = COffscreenDC::Create(image.width(), image.height(), Qt::white);
    reference->SetTextColor(colour);
    reference->TextOut(x, y, text);
    const QRect cell = TextCell(x, y, text);
    int inked = 0;
    for (int py = cell.top(); py <= cell.bottom(); ++py) {
        for (int px = cell.left(); px <= cell.right(); ++px) {
            if (skipColumns.count(px)) continue;
            const QRgb wanted = PixelAt(reference->Image(), px, py);
            if (PixelAt(image, px, py) != wanted)
                return ::testing::AssertionFailure() << "\"" << text << "\" at (" << x << ", " << y
                                                     << ") differs at (" << px << ", " << py << ")";
            if (wanted == colour.rgb()) ++inked;
        }
    }
    if (inked == 0)
        return ::testing::AssertionFailure() << "\"" << text << "\" has no ink in its cell";
    return ::testing::AssertionSuccess();
}
