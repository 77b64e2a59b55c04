#include "graph/spectrum_plot.h"

#include <gtest/gtest.h>

#include <QTest>

#include "graph/display_options.h"
#include "graph/graph_window.h"
#include "graph/plot_render.h"
#include "measure/measurement.h"
#include "tests/graph_gui/text_cells.h"
#include "tests/support/pixel_checks.h"

namespace {

const QRgb kWhite = Rgb(255, 255, 255);
const QRgb kGrid = Rgb(200, 200, 200);
const QRgb kBaseline = Rgb(155, 100, 100);
const QRgb kTrace = Rgb(0, 0, 250);
const QRgb kDash = Rgb(50, 50, 50);
const QRgb kRed = Rgb(255, 0, 0);
const QRgb kBlack = Rgb(0, 0, 0);

constexpr int kWidth = 546;
constexpr int kHeight = 281;
constexpr int kStartCrosshairX = 440;  // column 110

struct PixelCase {
    int x, y;
    QRgb colour;
};

void ExpectPixels(const QImage& image, std::initializer_list<PixelCase> cases) {
    for (const PixelCase& c : cases)
        EXPECT_EQ(PixelAt(image, c.x, c.y), c.colour) << "at (" << c.x << ", " << c.y << ")";
}

// The threshold label's x when its right end meets the line's end at x = 524.
int LabelRightAtTheLineEnd(const char* label) {
    return 524 - TextCell(0, 0, label).width();
}

// Rows of a bar's two columns (x - 1 and x) that hold the trace colour.
int BarPixels(const QImage& image, int x) {
    return CountColour(image, QRect(x - 1, 0, 2, kHeight), kTrace);
}

class SpectrumPlotTest : public ::testing::Test {
  protected:
    void SetUp() override {
        shown.threshold = -98;  // what the main window starts with
    }

    void Levels(int8_t all, std::initializer_list<std::pair<int, int8_t>> bins = {}) {
        shown.measurement.spectrum.dbm.fill(all);
        for (auto [bin, level] : bins)
            shown.measurement.spectrum.dbm[bin] = level;
    }

    // Keeps the crosshair's row from crossing the bars.
    void CrosshairBelowTheBars() { cursor.CursorRow = 270; }

    QImage Render() const { return RenderMeasurementImage(shown, options, cursor); }

    PlotReading shown;  // a spectrum
    DisplayOptions options;
    CursorState cursor;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// The start-up picture, through the window as the main window draws it

TEST_F(SpectrumPlotTest, StartUpPictureHasNoBarsAndTheLineOnTheBaseline) {
    CGraphWnd window(shown);
    window.resize(kGraphControlWidth, kGraphControlHeight);
    window.RenderAll();
    const QImage& image = *window.CurrentImage();

    EXPECT_EQ(CountColour(image, QRect(0, 0, kWidth, 239), kTrace), 0);
    // The line covers rows 239-240 from x 12 up to its end at 520, but for the crosshair.
    EXPECT_EQ(CountColour(image, QRect(12, 239, 508, 2), kTrace), 2 * 508 - 2);
    ExpectPixels(image, {{12, 239, kTrace},
                         {519, 240, kTrace},
                         {11, 240, kBaseline},
                         {520, 239, kBaseline},
                         {12, 238, kWhite},
                         {12, 241, kWhite}});
}

TEST_F(SpectrumPlotTest, StartUpThresholdIsADashedLineAtRow60WithItsLabel) {
    CGraphWnd window(shown);
    window.resize(kGraphControlWidth, kGraphControlHeight);
    window.RenderAll();
    const QImage& image = *window.CurrentImage();

    // -98 dBm on a 30 dB scale (-128 .. -98) at 6 px per dB: 180 above the baseline.
    EXPECT_EQ(CountColour(image, QRect(12, 60, 18, 1), kDash), 18);  // first dash, 12..29
    ExpectPixels(image, {{11, 60, kGrid},
                         {30, 60, kWhite},  // the gap hides the grid row under it
                         {35, 60, kWhite},
                         {36, 60, kDash},
                         {53, 60, kDash},
                         {54, 60, kWhite},
                         {12, 59, kWhite},
                         {12, 61, kWhite}});
    // Its label stands above the line, clear of it, its right end at the line's end.
    const int x = LabelRightAtTheLineEnd("-98 dBm");
    EXPECT_TRUE(TextAt(image, x, 45, "-98 dBm"));
    EXPECT_GT(CountColour(image, TextCell(x, 45, "-98 dBm"), kBlack), 20);
}

TEST_F(SpectrumPlotTest, ThresholdLabelMovesLeftOffATraceThatRisesOverItsLine) {
    CrosshairBelowTheBars();
    Levels(-128);
    for (int bin = 100; bin < kSpectrumBins; ++bin)
        shown.measurement.spectrum.dbm[bin] = -90;
    const QImage image = Render();
    // -128 .. -90 at 180 / 38 px per dB: the line at row 240 - 142 = 98, bins 100.. up at
    // row 60. The label keeps 4 pixels off bin 100's column (x 412) and its line to bin 99.
    const int width = TextCell(0, 0, "-98 dBm").width();
    EXPECT_TRUE(TextAt(image, 404 - width, 83, "-98 dBm"));
    EXPECT_EQ(CountColour(image, TextCell(404 - width, 83, "-98 dBm"), kTrace), 0);
}

TEST_F(SpectrumPlotTest, StartUpTexts) {
    CGraphWnd window(shown);
    window.resize(kGraphControlWidth, kGraphControlHeight);
    window.RenderAll();
    const QImage& image = *window.CurrentImage();

    // The crosshair's column line at x = 440 starts below the header: no text is crossed.
    EXPECT_TRUE(TextAt(image, 20, 5, "Average = -128 dBm"));
    EXPECT_TRUE(TextAt(image, 45, 21, "Max = -128 dBm"));
    EXPECT_TRUE(TextAt(image, 351, 5, "Channel Spacing = 0 kHz"));
    EXPECT_TRUE(TextAt(image, 335, 21, "Channel Bandwidth = 0 kHz"));
    EXPECT_TRUE(TextAt(image, 352, 107, "0.000 kHz"));
    EXPECT_TRUE(TextAt(image, 450, 107, "-128 dBm"));
    EXPECT_TRUE(TextAt(image, 20, 245, "0.00 kHz"));
    EXPECT_TRUE(TextAt(image, 446, 245, "0.0 kHz"));
    EXPECT_TRUE(TextAt(image, 190, 245, "(Minimum = -128 dBm)"));
}

TEST_F(SpectrumPlotTest, CrosshairStartsAtRow125AndFollowsCursorPointAfterRefresh) {
    CGraphWnd window(shown);
    window.resize(kGraphControlWidth, kGraphControlHeight);
    window.RenderAll();
    {
        const QImage& image = *window.CurrentImage();
        ExpectPixels(image, {{4, 125, kRed},
                             {3, 125, kWhite},
                             {545, 125, kRed},
                             {101, 64, kWhite},
                             {440, 35, kRed},
                             {440, 34, kGrid},
                             {440, 280, kRed},
                             {439, 150, kWhite},
                             {441, 150, kWhite}});
        // The red line also runs over the trace and the baseline.
        ExpectPixels(image, {{440, 239, kRed}, {440, 240, kRed}, {440, 60, kRed}});
    }

    window.Refresh();  // CursorPoint is (440, 64)
    const QImage& image = *window.CurrentImage();
    ExpectPixels(image, {{4, 64, kRed}, {101, 64, kRed}, {101, 125, kWhite}, {440, 150, kRed}});
    EXPECT_TRUE(TextAt(image, 352, 46, "0.000 kHz"));
    EXPECT_TRUE(TextAt(image, 450, 46, "-128 dBm"));
}

// ---------------------------------------------------------------------------------------
// Scale

TEST_F(SpectrumPlotTest, BarsRiseTenPixelsPerDbUpTo18Db) {
    CrosshairBelowTheBars();
    options.ShowLine = 0;
    shown.threshold = -100;  // at the minimum: no threshold line
    Levels(-100, {{5, -90}, {9, -82}});
    const QImage image = Render();

    // Bin 5 at x 32, 10 dB up: rows 141..240; bin 9 at x 48, 18 dB up: rows 61..240.
    EXPECT_EQ(BarPixels(image, 32), 2 * 100);
    ExpectPixels(image, {{31, 141, kTrace},
                         {32, 240, kTrace},
                         {32, 140, kGrid},
                         {32, 139, kWhite},
                         {33, 200 + 1, kWhite},
                         {47, 61, kTrace},
                         {48, 61, kTrace},
                         {48, 60, kGrid},
                         {48, 59, kWhite}});
    EXPECT_EQ(BarPixels(image, 48), 2 * 180);
    // A level at the minimum paints nothing.
    EXPECT_EQ(BarPixels(image, 12), 0);
    EXPECT_EQ(BarPixels(image, 520), 0);
}

TEST_F(SpectrumPlotTest, WiderRangesShrinkToTheFullScaleOf180Pixels) {
    CrosshairBelowTheBars();
    options.ShowLine = 0;
    shown.threshold = -100;
    struct Case {
        int8_t top;
        int8_t middle;  // drawn in bin 20, x = 92
        int topHeight, middleHeight;
    };
    const Case cases[] = {
        {-70, -85, 180, 90},  // 30 dB at 6 px per dB
        {-81, -90, 180, 94},  // 19 dB at 9.47 px per dB: 94.7 truncated
        {-80, -91, 180, 81},  // 20 dB at 9 px per dB
    };
    for (const Case& c : cases) {
        Levels(-100, {{10, c.top}, {20, c.middle}});
        const QImage image = Render();
        EXPECT_EQ(BarPixels(image, 52), 2 * c.topHeight) << int(c.top);
        EXPECT_EQ(PixelAt(image, 52, 240 - c.topHeight + 1), kTrace) << int(c.top);
        EXPECT_EQ(BarPixels(image, 92), 2 * c.middleHeight) << int(c.top);
        EXPECT_EQ(PixelAt(image, 92, 240 - c.middleHeight + 1), kTrace) << int(c.top);
        EXPECT_NE(PixelAt(image, 92, 240 - c.middleHeight), kTrace) << int(c.top);
    }
}

TEST_F(SpectrumPlotTest, ThresholdAboveEveryLevelStretchesTheScale) {
    options.ShowLine = 0;
    shown.threshold = -70;
    Levels(-100, {{5, -90}});
    const QImage image = Render();

    // -100 .. -70 at 6 px per dB: the bar is 60 high, the threshold 180 above the baseline.
    EXPECT_EQ(BarPixels(image, 32), 2 * 60);
    EXPECT_EQ(PixelAt(image, 32, 181), kTrace);
    EXPECT_EQ(CountColour(image, QRect(12, 60, 18, 1), kDash), 18);
    EXPECT_EQ(CountColour(image, QRect(0, 0, kWidth, 181), kTrace), 0);
    EXPECT_TRUE(TextAt(image, LabelRightAtTheLineEnd("-70 dBm"), 45, "-70 dBm"));
    EXPECT_TRUE(TextAt(image, 45, 21, "Max = -90 dBm"));
    EXPECT_TRUE(TextAt(image, 190, 245, "(Minimum = -100 dBm)"));
}

TEST_F(SpectrumPlotTest, ThresholdBelowEveryLevelIsTheMinimumAndDrawsNoLine) {
    CrosshairBelowTheBars();
    options.ShowLine = 0;
    shown.threshold = -110;
    Levels(-100, {{5, -90}});
    const QImage image = Render();

    // -110 .. -90 at 9 px per dB: every bin now stands 90 high, bin 5 180.
    EXPECT_EQ(BarPixels(image, 32), 2 * 180);
    EXPECT_EQ(BarPixels(image, 12), 2 * 90);
    EXPECT_EQ(BarPixels(image, 520), 2 * 90);
    EXPECT_EQ(CountColour(image, image.rect(), kDash), 0);
    EXPECT_TRUE(TextAt(image, 190, 245, "(Minimum = -110 dBm)"));
    EXPECT_TRUE(TextAt(image, 45, 21, "Max = -90 dBm"));
    EXPECT_TRUE(TextAt(image, 20, 5, "Average = -99 dBm"));  // -12790 / 128 truncated
}

TEST_F(SpectrumPlotTest, ThresholdLabelInPowerUnitsEndsAtTheLineEndToo) {
    options.ShowPower = 1;
    struct Case {
        int threshold;
        const char* label;
    };
    // Over levels at -128 the threshold is the top of the scale: always 180 px up, row 60.
    const Case cases[] = {{-98, "0.158 pW"}, {-60, " 1.000 nW"}, {-30, "1.000 uW"}};
    for (const Case& c : cases) {
        shown.threshold = c.threshold;
        const QImage image = Render();
        EXPECT_TRUE(TextAt(image, LabelRightAtTheLineEnd(c.label), 45, c.label)) << c.threshold;
        EXPECT_TRUE(TextAt(image, 190, 245, "Minimum = 0.000 pW")) << c.threshold;
    }
}

// ---------------------------------------------------------------------------------------
// Line and bars

TEST_F(SpectrumPlotTest, LineAndBarOptionsChooseWhatIsDrawn) {
    shown.threshold = -100;
    Levels(-90, {{0, -100}});  // bins 1..127 100 px up, the line flat on row 140 after x 16
    struct Case {
        uint8_t bar, line;
        bool barShown, lineShown;
    };
    const Case cases[] = {
        {1, 1, true, true}, {0, 1, false, true}, {1, 0, true, false}, {0, 0, false, false}};
    for (const Case& c : cases) {
        options.ShowBar = c.bar;
        options.ShowLine = c.line;
        const QImage image = Render();
        const QRgb bar = c.barShown ? kTrace : kWhite;
        const QRgb line = c.lineShown ? kTrace : kWhite;
        // Bin 12's bar covers x 59..60; x 62 lies between two bars.
        EXPECT_EQ(PixelAt(image, 59, 210), bar) << int(c.bar) << int(c.line);
        EXPECT_EQ(PixelAt(image, 59, 141), bar) << int(c.bar) << int(c.line);
        EXPECT_EQ(PixelAt(image, 62, 139), line) << int(c.bar) << int(c.line);
        EXPECT_EQ(PixelAt(image, 62, 210), kWhite) << int(c.bar) << int(c.line);
        if (!c.barShown && !c.lineShown) {
            EXPECT_EQ(CountColour(image, image.rect(), kTrace), 0);
        }
    }
}

// ---------------------------------------------------------------------------------------
// Crosshair

TEST_F(SpectrumPlotTest, CursorTextsOnlyWhileTheCrosshairStandsOnABin) {
    shown.measurement.spectrum.startHz = 2400000000u;
    shown.measurement.spectrum.spacingHz = 1000000u;
    shown.measurement.spectrum.bandMode = 7;  // f0 + s * b
    struct Case {
        int bin;
        bool texts;
        GraphPoint frequencyAt, levelAt;
        const char* frequency;
    };
    const Case cases[] = {
        {2, false, {13, 116}, {18, 132}, ""},
        {3, true, {17, 116}, {22, 132}, "2.400 GHz"},  // bin 0: both texts right of the line
        {24, true, {8, 132}, {106, 132}, "2.421 GHz"},
        {116, true, {376, 132}, {474, 132}, "2.513 GHz"},
        {117, true, {380, 116}, {403, 132}, "2.514 GHz"},  // near the right edge: both left
        {130, true, {432, 116}, {455, 132}, "2.527 GHz"},  // bin 127
        {131, false, {436, 116}, {459, 132}, ""},
    };
    for (const Case& c : cases) {
        cursor.CursorBin = c.bin;
        cursor.CursorRow = 150;
        const QImage image = Render();
        EXPECT_EQ(PixelAt(image, 4 * c.bin, 35), kRed) << c.bin;
        EXPECT_EQ(PixelAt(image, 100 + 3, 150), kRed) << c.bin;
        if (c.texts) {
            EXPECT_TRUE(TextAt(image, c.frequencyAt.x, c.frequencyAt.y, c.frequency)) << c.bin;
            EXPECT_TRUE(TextAt(image, c.levelAt.x, c.levelAt.y, "-128 dBm")) << c.bin;
        } else {
            const QRect near(4 * c.bin - 100, 110, 200, 36);
            EXPECT_EQ(CountColour(image, near, kBlack), 0) << c.bin;
        }
    }
}
