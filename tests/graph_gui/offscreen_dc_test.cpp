#include "graph/offscreen_dc.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <vector>

#include "tests/support/pixel_checks.h"

namespace {

const QRgb kWhite = Rgb(255, 255, 255);
const QRgb kBlack = Rgb(0, 0, 0);
const QRgb kRed = Rgb(255, 0, 0);
const QRgb kGrey = Rgb(90, 90, 90);

std::unique_ptr<COffscreenDC> WhiteImage(int width = 64, int height = 48) {
    auto dc = COffscreenDC::Create(width, height, Qt::white);
    EXPECT_NE(dc, nullptr);
    return dc;
}

void Line(COffscreenDC& dc, int x0, int y0, int x1, int y1) {
    dc.MoveTo(x0, y0);
    dc.LineTo(x1, y1);
}

std::vector<int> InkedRowsInColumn(const QImage& image, int x) {
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y)
        if (PixelAt(image, x, y) != kWhite) rows.push_back(y);
    return rows;
}

std::vector<int> InkedColumnsInRow(const QImage& image, int y) {
    std::vector<int> columns;
    for (int x = 0; x < image.width(); ++x)
        if (PixelAt(image, x, y) != kWhite) columns.push_back(x);
    return columns;
}

std::vector<int> Range(int first, int last) {
    std::vector<int> values;
    for (int v = first; v <= last; ++v)
        values.push_back(v);
    return values;
}

}  // namespace

TEST(OffscreenDc, NewImageHasItsSizeAndFillColour) {
    auto dc = COffscreenDC::Create(30, 20, QColor(180, 200, 253));
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(dc->Width(), 30);
    EXPECT_EQ(dc->Height(), 20);
    EXPECT_EQ(dc->Image().size(), QSize(30, 20));
    EXPECT_EQ(dc->Image().format(), QImage::Format_RGB32);
    EXPECT_EQ(CountColour(dc->Image(), QRect(0, 0, 30, 20), Rgb(180, 200, 253)), 30 * 20);
}

TEST(OffscreenDc, EmptySizeMakesNoImage) {
    EXPECT_EQ(COffscreenDC::Create(0, 10, Qt::white), nullptr);
    EXPECT_EQ(COffscreenDC::Create(10, 0, Qt::white), nullptr);
    EXPECT_EQ(COffscreenDC::Create(-3, 10, Qt::white), nullptr);
}

TEST(OffscreenDc, LinePaintsItsStartButNotItsEnd) {
    auto dc = WhiteImage();
    dc->SelectPen(Qt::black, 1);
    Line(*dc, 0, 5, 10, 5);
    EXPECT_EQ(InkedColumnsInRow(dc->Image(), 5), Range(0, 9));
    EXPECT_EQ(CountPixels(dc->Image(), dc->Image().rect(), [](QRgb p) { return p != kWhite; }), 10);
}

TEST(OffscreenDc, ReversedLinesAlsoStartAtTheirStart) {
    auto dc = WhiteImage();
    dc->SelectPen(Qt::black, 1);
    Line(*dc, 10, 5, 0, 5);     // leftwards: 10 down to 1
    Line(*dc, 40, 30, 40, 20);  // upwards: 30 down to 21
    EXPECT_EQ(InkedColumnsInRow(dc->Image(), 5), Range(1, 10));
    EXPECT_EQ(InkedRowsInColumn(dc->Image(), 40), Range(21, 30));
}

TEST(OffscreenDc, SlantedLineStepsOnePixelPerColumnAndStopsBeforeItsEnd) {
    auto dc = WhiteImage();
    dc->SelectPen(Qt::black, 1);
    Line(*dc, 0, 0, 4, 4);
    Line(*dc, 20, 10, 10, 15);  // 10 columns, 5 rows: two pixels per row
    const QImage& image = dc->Image();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(PixelAt(image, i, i), kBlack) << i;
    EXPECT_EQ(PixelAt(image, 4, 4), kWhite);
    EXPECT_EQ(PixelAt(image, 20, 10), kBlack);
    EXPECT_EQ(PixelAt(image, 10, 15), kWhite);
    EXPECT_EQ(CountPixels(image, QRect(10, 10, 11, 6), [](QRgb p) { return p == kBlack; }), 10);
}

TEST(OffscreenDc, PolylineContinuesFromTheLastEndPoint) {
    auto dc = WhiteImage();
    dc->SelectPen(Qt::black, 1);
    dc->MoveTo(0, 0);
    dc->LineTo(5, 0);
    dc->LineTo(5, 5);
    EXPECT_EQ(InkedColumnsInRow(dc->Image(), 0), Range(0, 5));
    EXPECT_EQ(InkedRowsInColumn(dc->Image(), 5), Range(0, 4));
}

TEST(OffscreenDc, ZeroLengthLinePaintsNothing) {
    for (int width : {1, 2, 4}) {
        auto dc = WhiteImage();
        dc->SelectPen(Qt::black, width);
        Line(*dc, 20, 20, 20, 20);
        EXPECT_EQ(CountColour(dc->Image(), dc->Image().rect(), kWhite), 64 * 48) << width;
    }
}

// A pen of width w is centred on its path: the first covered row is y - w/2.
TEST(OffscreenDc, PenWidthCoversTheRowsAroundTheLine) {
    struct Case {
        int width;
        int firstRow, lastRow;  // for a horizontal line at y = 20
    };
    const Case cases[] = {{0, 20, 20}, {1, 20, 20}, {2, 19, 20}, {3, 19, 21}, {4, 18, 21}};
    for (const Case& c : cases) {
        auto dc = WhiteImage();
        dc->SelectPen(Qt::black, c.width);
        Line(*dc, 5, 20, 30, 20);
        EXPECT_EQ(InkedRowsInColumn(dc->Image(), 5), Range(c.firstRow, c.lastRow)) << c.width;
        EXPECT_EQ(InkedRowsInColumn(dc->Image(), 29), Range(c.firstRow, c.lastRow)) << c.width;
        EXPECT_EQ(InkedRowsInColumn(dc->Image(), 30), std::vector<int>{}) << c.width;
        EXPECT_EQ(InkedRowsInColumn(dc->Image(), 4), std::vector<int>{}) << c.width;
    }
}

TEST(OffscreenDc, WideVerticalLineCoversColumnsAroundItFromStartToBeforeEnd) {
    auto dc = WhiteImage();
    dc->SelectPen(kRed, 2);
    Line(*dc, 20, 40, 20, 30);  // a bar rising from 40: rows 31..40
    EXPECT_EQ(InkedColumnsInRow(dc->Image(), 35), Range(19, 20));
    EXPECT_EQ(InkedRowsInColumn(dc->Image(), 19), Range(31, 40));
    EXPECT_EQ(PixelAt(dc->Image(), 20, 40), kRed);
}

TEST(OffscreenDc, SlantedWideLineIsDrawnInItsColour) {
    auto dc = WhiteImage();
    dc->SelectPen(kRed, 2);
    Line(*dc, 10, 30, 30, 10);
    EXPECT_EQ(PixelAt(dc->Image(), 20, 20), kRed);
    EXPECT_EQ(CountPixels(dc->Image(), dc->Image().rect(),
                          [](QRgb p) { return p != kWhite && p != kRed; }),
              0);
}

TEST(OffscreenDc, DashedPenIs18On6Off) {
    auto dc = COffscreenDC::Create(64, 10, QColor(kGrey));
    dc->SelectPen(Qt::black, 1, Qt::DashLine);
    Line(*dc, 0, 5, 60, 5);
    const QImage& image = dc->Image();
    for (int x = 0; x < 60; ++x) {
        const bool dash = x < 18 || (x >= 24 && x < 42) || x >= 48;
        // The default opaque background paints the gaps white.
        EXPECT_EQ(PixelAt(image, x, 5), dash ? kBlack : kWhite) << x;
    }
    EXPECT_EQ(PixelAt(image, 60, 5), kGrey);
}

TEST(OffscreenDc, DashGapsKeepWhatIsUnderThemOnATransparentBackground) {
    auto dc = COffscreenDC::Create(64, 10, QColor(kGrey));
    dc->SetBkModeTransparent();
    dc->SelectPen(Qt::black, 1, Qt::DashLine);
    Line(*dc, 0, 5, 30, 5);
    EXPECT_EQ(PixelAt(dc->Image(), 17, 5), kBlack);
    EXPECT_EQ(PixelAt(dc->Image(), 18, 5), kGrey);
    EXPECT_EQ(PixelAt(dc->Image(), 23, 5), kGrey);
    EXPECT_EQ(PixelAt(dc->Image(), 24, 5), kBlack);
}

TEST(OffscreenDc, WideDashedPenDrawsSolid) {
    auto dc = WhiteImage();
    dc->SelectPen(Qt::black, 2, Qt::DashLine);
    Line(*dc, 0, 5, 40, 5);
    EXPECT_EQ(InkedColumnsInRow(dc->Image(), 5), Range(0, 39));
    EXPECT_EQ(InkedColumnsInRow(dc->Image(), 4), Range(0, 39));
}

TEST(OffscreenDc, FillRectLeavesOutRightAndBottomEdges) {
    auto dc = WhiteImage();
    dc->FillRect(450 - 440, 30 - 20, 465 - 440, 45 - 20, kRed);  // a legend square, shifted
    EXPECT_EQ(CountColour(dc->Image(), dc->Image().rect(), kRed), 15 * 15);
    EXPECT_EQ(PixelAt(dc->Image(), 10, 10), kRed);
    EXPECT_EQ(PixelAt(dc->Image(), 24, 24), kRed);
    EXPECT_EQ(PixelAt(dc->Image(), 25, 24), kWhite);
    EXPECT_EQ(PixelAt(dc->Image(), 24, 25), kWhite);
}

TEST(OffscreenDc, SystemFontCellIs13PixelsTall) {
    const QFontMetrics metrics(COffscreenDC::SystemFont());
    EXPECT_EQ(metrics.height(), 13);
    EXPECT_EQ(metrics.ascent(), 10);
}

TEST(OffscreenDc, OpaqueTextFillsItsCellWhiteFromTheTopLeftCorner) {
    auto dc = COffscreenDC::Create(120, 40, QColor(kGrey));
    dc->TextOut(10, 10, "EMF");
    const QImage& image = dc->Image();
    const int advance = QFontMetrics(COffscreenDC::SystemFont()).horizontalAdvance("EMF");
    const QRect cell(10, 10, advance, 13);
    // Every pixel of the cell is text or background, none blended; nothing outside changes.
    EXPECT_EQ(CountPixels(image, cell, [](QRgb p) { return p != kWhite && p != kBlack; }), 0);
    EXPECT_GT(CountColour(image, cell, kBlack), 20);
    EXPECT_EQ(PixelAt(image, 10, 10), kWhite);
    EXPECT_EQ(PixelAt(image, 10, 22), kWhite);
    EXPECT_EQ(PixelAt(image, 10, 23), kGrey);
    EXPECT_EQ(PixelAt(image, 9, 10), kGrey);
    EXPECT_EQ(CountColour(image, QRect(0, 0, 120, 40), kGrey), 120 * 40 - advance * 13);
}

TEST(OffscreenDc, TransparentTextPaintsOnlyItsGlyphsInTheTextColour) {
    auto dc = COffscreenDC::Create(120, 40, QColor(kGrey));
    dc->SetBkModeTransparent();
    dc->SetTextColor(QColor(165, 42, 42));
    dc->TextOut(10, 10, "EF");
    const QImage& image = dc->Image();
    EXPECT_GT(CountColour(image, QRect(10, 10, 30, 13), Rgb(165, 42, 42)), 10);
    EXPECT_EQ(CountPixels(image, image.rect(),
                          [](QRgb p) { return p != kGrey && p != Rgb(165, 42, 42); }),
              0);
    // The glyphs stand in the cell below y = 10: the top row of the cell stays empty.
    EXPECT_EQ(CountColour(image, QRect(0, 0, 120, 11), kGrey), 120 * 11);
    EXPECT_EQ(CountColour(image, QRect(0, 23, 120, 17), kGrey), 120 * 17);
}
