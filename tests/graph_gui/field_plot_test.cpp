#include "graph/field_plot.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "graph/display_options.h"
#include "graph/graph_window.h"
#include "graph/plot_render.h"
#include "measure/measurement.h"
#include "tests/graph_gui/text_cells.h"
#include "tests/support/pixel_checks.h"

namespace {

const QRgb kWhite = Rgb(255, 255, 255);
const QRgb kGrid = Rgb(200, 200, 200);
const QRgb kAxis = Rgb(125, 125, 125);
const QRgb kRed = Rgb(255, 0, 0);
const QRgb kBlue = Rgb(0, 0, 255);
const QRgb kGreen = Rgb(50, 150, 50);
const QRgb kBlack = Rgb(0, 0, 0);
const QRgb kBrown = Rgb(165, 42, 42);

// The values' column: just right of the widest label, "EMF=" at x = 468.
int ValuesX() {
    return 468 + TextCell(0, 0, "EMF=").width() + 3;
}

const QColor kRedText(255, 0, 0);
const QColor kBlueText(0, 0, 255);
const QColor kGreenText(50, 150, 50);
const QColor kBrownText(165, 42, 42);

constexpr int kWidth = 546;
constexpr int kHeight = 281;
constexpr int kNoCursorX = 441;  // just past the newest sample: no time line
constexpr int kProbeX = 103;     // between samples 2 and 3, off the grid columns
constexpr int kLateProbeX = 383;

struct PixelCase {
    int x, y;
    QRgb colour;
};

void ExpectPixels(const QImage& image, std::initializer_list<PixelCase> cases) {
    for (const PixelCase& c : cases)
        EXPECT_EQ(PixelAt(image, c.x, c.y), c.colour) << "at (" << c.x << ", " << c.y << ")";
}

// Samples 0 .. split - 1 at `low`, the rest at `high`.
FieldSeries Step(float low, float high, int split = 30) {
    FieldSeries series{};
    for (int j = 0; j < kFieldSamples; ++j)
        series[j] = j < split ? low : high;
    return series;
}

FieldSeries Flat(float value) {
    return Step(value, value);
}

int MostBlackInAnyColumn(const QImage& image, int fromX, int toX) {
    int most = 0;
    for (int x = fromX; x <= toX; ++x)
        most = std::max(most, CountColour(image, QRect(x, 0, 1, kHeight), kBlack));
    return most;
}

class FieldTrendTest : public ::testing::Test {
  protected:
    void SetUp() override { shown.measurement.kind = kKindField; }

    void ShowTraces(bool x, bool y, bool z, bool emf) {
        options.ShowX = x;
        options.ShowY = y;
        options.ShowZ = z;
        options.ShowEmf = emf;
    }

    QImage Render() const { return RenderMeasurementImage(shown, options, cursor); }

    PlotReading shown;
    DisplayOptions options;  // only EMF of the magnetic traces
    CursorState cursor;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// Traces

TEST_F(FieldTrendTest, FlatSeriesLieOnTheirBaselines) {
    cursor.CursorPoint.x = kNoCursorX;
    shown.measurement.field.emfSeries = Flat(7.0f);
    shown.measurement.field.efSeries = Flat(3.0f);
    const QImage image = Render();
    // Width-2 lines cover the row above their path too: 114-115 and 239-240.
    ExpectPixels(image, {{kProbeX, 114, kBlack},
                         {kProbeX, 115, kBlack},
                         {kProbeX, 113, kWhite},
                         {kProbeX, 116, kWhite},
                         {86, 115, kBlack},  // sample 0
                         {439, 115, kBlack},
                         {85, 115, kWhite},
                         {440, 115, kGrid},  // the newest sample ends the line unpainted
                         {kProbeX, 239, kBrown},
                         {kProbeX, 240, kBrown},
                         {kProbeX, 238, kWhite},
                         {kProbeX, 241, kWhite}});
}

TEST_F(FieldTrendTest, MagneticSamplesAbove1000MilligaussStandAboveTheBaseline) {
    shown.measurement.field.emfSeries = Flat(1050.0f);  // min stays 1000: 2 px per mG, 100 px up
    const QImage image = Render();
    ExpectPixels(image, {{kProbeX, 14, kBlack},
                         {kProbeX, 15, kBlack},
                         {kProbeX, 13, kWhite},
                         {kProbeX, 16, kWhite},
                         {kProbeX, 115, kWhite}});
}

TEST_F(FieldTrendTest, EfSpreadChoosesItsScaleStep) {
    struct Case {
        float high;  // over a low of 1 V/m
        int y;
    };
    const Case cases[] = {
        {6.0f, 140},   // 5 V/m at 20 px per V/m
        {6.5f, 185},   // 5.5 V/m at 10: 55 px
        {11.5f, 188},  // 10.5 V/m at 5: 52.5 truncated
        {21.5f, 199},  // 20.5 V/m at 2: 41 px
        {61.0f, 140},  // 60 V/m at 100/60 = 1.66666663f: 60 times that rounds to 100.0f
    };
    for (const Case& c : cases) {
        shown.measurement.field.efSeries = Step(1.0f, c.high);
        const QImage image = Render();
        EXPECT_EQ(PixelAt(image, kLateProbeX, c.y), kBrown) << c.high;
        EXPECT_EQ(PixelAt(image, kLateProbeX, c.y - 1), kBrown) << c.high;
        EXPECT_NE(PixelAt(image, kLateProbeX, c.y + 1), kBrown) << c.high;
        EXPECT_NE(PixelAt(image, kLateProbeX, c.y - 2), kBrown) << c.high;
        EXPECT_EQ(PixelAt(image, kProbeX, 240), kBrown) << c.high;
    }
}

TEST_F(FieldTrendTest, LargeEfSpreadTruncatesItsPixels) {
    // 1, then 31.3, then 61 V/m: 30.3 * 1.66666663f = 50.4999962, truncated to 50.
    FieldSeries ef = Step(1.0f, 61.0f, 40);
    std::fill(ef.begin() + 20, ef.begin() + 40, 31.3f);
    shown.measurement.field.efSeries = ef;
    const QImage image = Render();
    ExpectPixels(image, {{263, 190, kBrown},
                         {263, 189, kBrown},
                         {263, 191, kWhite},
                         {263, 188, kWhite},
                         {kLateProbeX, 140, kBrown},
                         {kLateProbeX, 141, kWhite}});
}

TEST_F(FieldTrendTest, WithoutMagneticTracesOnlyTheEfTraceIsDrawn) {
    ShowTraces(false, false, false, false);
    for (int j = 0; j < kFieldSamples; ++j) {
        shown.measurement.field.emfSeries[j] = static_cast<float>(j);
        shown.measurement.field.xSeries[j] = static_cast<float>(60 - j);
    }
    shown.measurement.field.efSeries = Step(1.0f, 2.0f);
    const QImage image = Render();

    const QRect upperTraces(86, 10, 354, 110);  // samples 0..59 (less the time line at 440)
    for (QRgb colour : {kBlack, kRed, kBlue, kGreen})
        EXPECT_EQ(CountColour(image, upperTraces, colour), 0);
    EXPECT_EQ(PixelAt(image, kProbeX, 240), kBrown);
    EXPECT_EQ(PixelAt(image, kLateProbeX, 220), kBrown);  // 1 V/m at 20 px per V/m
    // The panel, the legend and the read-out still come from the data.
    EXPECT_TRUE(TextAt(image, 5, 35, "59.000 mG"));
    EXPECT_EQ(PixelAt(image, 450, 90), kBlack);
    EXPECT_TRUE(TextAt(image, ValuesX(), 90, "59.0"));
    EXPECT_TRUE(TextAt(image, ValuesX(), 30, "1.0", kRedText));
}

TEST_F(FieldTrendTest, LaterQuantitiesCoverEarlierOnes) {
    // Flat series all lie on row 115: the last one drawn shows.
    shown.measurement.field.xSeries = shown.measurement.field.ySeries =
        shown.measurement.field.zSeries = shown.measurement.field.emfSeries = Flat(10.0f);
    struct Case {
        bool x, y, z, emf;
        QRgb top;
    };
    const Case cases[] = {
        {true, false, false, false, kRed},  {true, true, false, false, kBlue},
        {true, true, true, false, kGreen},  {true, true, true, true, kBlack},
        {false, true, true, false, kGreen}, {true, false, false, true, kBlack},
    };
    for (const Case& c : cases) {
        ShowTraces(c.x, c.y, c.z, c.emf);
        const QImage image = Render();
        EXPECT_EQ(PixelAt(image, kProbeX, 115), c.top) << c.x << c.y << c.z << c.emf;
        EXPECT_EQ(PixelAt(image, kLateProbeX, 114), c.top) << c.x << c.y << c.z << c.emf;
    }
}

// ---------------------------------------------------------------------------------------
// Axis, legend and panels

TEST_F(FieldTrendTest, TickMarksCrossBothAxesAtTheEndsOfTheTimeSpan) {
    cursor.CursorPoint.x = kNoCursorX;
    const QImage image = Render();
    // Width 4 around x: columns x-2..x+1; rows y-6..y+5.
    for (int y : {125, 250}) {
        for (int x : {80, 440}) {
            ExpectPixels(image, {{x - 2, y - 6, kAxis},
                                 {x + 1, y - 6, kAxis},
                                 {x - 2, y + 5, kAxis},
                                 {x + 1, y + 5, kAxis},
                                 {x - 1, y - 7, kWhite},
                                 {x - 1, y + 6, kWhite},
                                 {x - 3, y - 4, kWhite},
                                 {x + 2, y - 4, kWhite}});
        }
    }
    EXPECT_TRUE(TextAt(image, 82, 252, "60 sec ago"));
    EXPECT_TRUE(TextAt(image, 442, 252, "0 sec"));
}

TEST_F(FieldTrendTest, LegendSquaresAndLabelsInTheQuantitiesColours) {
    cursor.CursorPoint.x = kNoCursorX;  // the EMF read-out would cover the end of "EMF="
    const QImage image = Render();
    struct Square {
        int top;
        QRgb colour;
    };
    const Square squares[] = {{30, kRed}, {50, kBlue}, {70, kGreen}, {90, kBlack}};
    for (const Square& s : squares) {
        EXPECT_EQ(CountColour(image, QRect(450, s.top, 15, 15), s.colour), 15 * 15) << s.top;
        EXPECT_NE(PixelAt(image, 449, s.top), s.colour) << s.top;
        EXPECT_NE(PixelAt(image, 465, s.top), s.colour) << s.top;
        EXPECT_NE(PixelAt(image, 450, s.top - 1), s.colour) << s.top;
        EXPECT_NE(PixelAt(image, 450, s.top + 15), s.colour) << s.top;
    }
    EXPECT_TRUE(TextAt(image, 470, 30, "X=", kRedText));
    EXPECT_TRUE(TextAt(image, 470, 50, "Y=", kBlueText));
    EXPECT_TRUE(TextAt(image, 470, 70, "Z=", kGreenText));
    EXPECT_TRUE(TextAt(image, 468, 90, "EMF="));
    EXPECT_TRUE(TextAt(image, 460, 10, "(milliGauss)"));
}

TEST_F(FieldTrendTest, PanelsShowTheExtremesOfEmfAndEf) {
    shown.measurement.field.emfSeries = Step(0.5f, 13.2f);
    shown.measurement.field.efSeries = Step(7.6f, 1.25f);
    const QImage image = Render();
    EXPECT_TRUE(TextAt(image, 2, 2, "EMF"));
    EXPECT_TRUE(TextAt(image, 2, 20, "EMF Max:"));
    EXPECT_TRUE(TextAt(image, 5, 35, "13.200 mG"));
    EXPECT_TRUE(TextAt(image, 2, 80, "Min:"));
    EXPECT_TRUE(TextAt(image, 5, 95, "0.500 mG"));

    EXPECT_TRUE(TextAt(image, 2, 137, "EF", kBrownText));
    EXPECT_TRUE(TextAt(image, 2, 155, "EMF Max:", kBrownText));
    EXPECT_TRUE(TextAt(image, 5, 170, "7.600 Vm", kBrownText));
    EXPECT_TRUE(TextAt(image, 2, 215, "Min:", kBrownText));
    EXPECT_TRUE(TextAt(image, 5, 230, "1.250 Vm", kBrownText));
    EXPECT_TRUE(TextAt(image, 456, 175, "(Volts/meter)", kBrownText));
    EXPECT_TRUE(TextAt(image, 460, 195, "EF=", kBrownText));
}

// ---------------------------------------------------------------------------------------
// Time cursor

TEST_F(FieldTrendTest, TimeLineStandsOnTheNearestSample) {
    struct Case {
        int cursorX;
        int lineX;  // 0: no line
        const char* label;
    };
    const Case cases[] = {
        {86, 86, "-59 sec"}, {88, 86, "-59 sec"}, {89, 92, "-58 sec"},
        {440, 440, "0 sec"}, {85, 0, ""},         {441, 0, ""},
    };
    for (const Case& c : cases) {
        cursor.CursorPoint.x = c.cursorX;
        const QImage image = Render();
        if (c.lineX == 0) {
            EXPECT_LT(MostBlackInAnyColumn(image, 80, 446), 40) << c.cursorX;
            continue;
        }
        EXPECT_EQ(CountColour(image, QRect(c.lineX, 0, 1, kHeight), kBlack), kHeight) << c.cursorX;
        EXPECT_EQ(PixelAt(image, c.lineX - 1, 70), kWhite) << c.cursorX;
        EXPECT_EQ(PixelAt(image, c.lineX + 1, 70), kWhite) << c.cursorX;
        EXPECT_TRUE(TextAt(image, c.lineX + 5, 127, c.label)) << c.cursorX;
    }
}

TEST_F(FieldTrendTest, ReadOutShowsTheCursorsSampleInEachColour) {
    shown.measurement.field.xSeries[1] = 12.34f;
    shown.measurement.field.ySeries[1] = 5.06f;
    shown.measurement.field.zSeries[1] = -3.27f;
    shown.measurement.field.emfSeries[1] = 13.2f;
    shown.measurement.field.efSeries[1] = 7.6f;
    cursor.CursorPoint.x = 89;  // sample 1
    const QImage image = Render();
    EXPECT_TRUE(TextAt(image, ValuesX(), 30, "12.3", kRedText));
    EXPECT_TRUE(TextAt(image, ValuesX(), 50, "5.1", kBlueText));
    EXPECT_TRUE(TextAt(image, ValuesX(), 70, "-3.3", kGreenText));
    EXPECT_TRUE(TextAt(image, ValuesX(), 90, "13.2"));
    EXPECT_TRUE(TextAt(image, ValuesX(), 195, "8", kBrownText));
    // Every label stays whole beside its value.
    EXPECT_TRUE(TextAt(image, 468, 90, "EMF="));
    EXPECT_TRUE(TextAt(image, 470, 30, "X=", kRedText));
    EXPECT_TRUE(TextAt(image, 460, 195, "EF=", kBrownText));

    cursor.CursorPoint.x = kNoCursorX;
    const QImage without = Render();
    const struct {
        int y;
        QRgb colour;
    } rows[] = {{30, kRed}, {50, kBlue}, {70, kGreen}, {195, kBrown}};
    for (const auto& row : rows)
        EXPECT_EQ(CountColour(without, QRect(ValuesX(), row.y, kWidth, 13), row.colour), 0)
            << row.y;
}

// ---------------------------------------------------------------------------------------
// The window and the export draw the same picture

TEST_F(FieldTrendTest, WindowAndExportDrawTheSamePicture) {
    ShowTraces(true, true, true, true);
    for (int j = 0; j < kFieldSamples; ++j) {
        shown.measurement.field.xSeries[j] = static_cast<float>(j % 7);
        shown.measurement.field.ySeries[j] = static_cast<float>(j % 5) * 1.5f;
        shown.measurement.field.zSeries[j] = static_cast<float>(j % 3) + 0.25f;
        shown.measurement.field.emfSeries[j] = static_cast<float>(j % 11);
        shown.measurement.field.efSeries[j] = static_cast<float>(j % 13) * 0.4f;
    }
    CGraphWnd window(shown);
    window.Options() = options;
    window.Cursor() = cursor;
    window.resize(kGraphControlWidth, kGraphControlHeight);
    window.RenderAll();
    ASSERT_NE(window.CurrentImage(), nullptr);
    EXPECT_EQ(*window.CurrentImage(), Render());

    shown.measurement.kind = kKindSpectrum;
    window.Refresh();
    cursor = window.Cursor();  // the refresh placed the crosshair at the cursor point
    EXPECT_EQ(*window.CurrentImage(), Render());
}

TEST_F(FieldTrendTest, ExportOfAnEmptySizeIsNoImage) {
    EXPECT_TRUE(RenderMeasurementImage(shown, options, cursor, 0, 281).isNull());
    EXPECT_EQ(RenderMeasurementImage(shown, options, cursor, 200, 100).size(), QSize(200, 100));
}
