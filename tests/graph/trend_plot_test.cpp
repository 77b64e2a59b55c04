#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "graph/plot_geometry.h"

namespace {

constexpr MagneticTraces kEmfOnly{false, false, false, true};

FieldSeries Ramp(float from, float to) {
    FieldSeries series{};
    for (int j = 0; j < kFieldSamples; ++j)
        series[j] = from + (to - from) * j / (kFieldSamples - 1);
    return series;
}

TEST(TrendPlot, EfScaleSteps) {
    const struct {
        float range, pixels;
    } cases[] = {{0.5f, 20.0f}, {5.0f, 20.0f}, {5.5f, 10.0f}, {10.0f, 10.0f}, {10.5f, 5.0f},
                 {20.0f, 5.0f}, {20.5f, 2.0f}, {50.0f, 2.0f}, {100.0f, 1.0f}};
    for (const auto& c : cases)
        EXPECT_EQ(EfPixelsPerUnit(c.range), c.pixels) << c.range;
    EXPECT_FLOAT_EQ(EfPixelsPerUnit(60.0f), 1.6666666f);
}

TEST(TrendPlot, EfSpreadOf5FillsTheFullHundredPixels) {
    TrendScale scale = EfScaleFor(Ramp(10.0f, 15.0f));
    EXPECT_EQ(scale.minimum, 10.0f);
    EXPECT_EQ(EfY(15.0f, scale), 140);
    EXPECT_EQ(EfY(12.5f, scale), 190);
    EXPECT_EQ(EfY(10.0f, scale), 240);
}

TEST(TrendPlot, EfSpreadOf5Point5IsNotBlownUp) {
    TrendScale scale = EfScaleFor(Ramp(0.0f, 5.5f));
    EXPECT_EQ(EfY(5.5f, scale), 185);  // 10 px per V/m
}

TEST(TrendPlot, EfSpreadOf60ReachesTheTopInFloat) {
    // 100/60 is 1.66666663f; 60 * that rounds to exactly 100.0f in float.
    TrendScale scale = EfScaleFor(Ramp(0.0f, 60.0f));
    EXPECT_EQ(EfY(60.0f, scale), 140);
    EXPECT_EQ(EfY(30.0f, scale), 190);
}

TEST(TrendPlot, ConstantSeriesLieOnTheirBases) {
    FieldBlockData block;
    block.emfSeries.fill(3.0f);
    block.efSeries.fill(7.0f);
    TrendScale magnetic = MagneticScaleFor(block, kEmfOnly);
    TrendScale ef = EfScaleFor(block.efSeries);
    EXPECT_EQ(magnetic.pixelsPerUnit, 0.0f);
    EXPECT_EQ(ef.pixelsPerUnit, 0.0f);
    EXPECT_EQ(MagneticY(3.0f, magnetic), 115);
    EXPECT_EQ(EfY(7.0f, ef), 240);
}

TEST(TrendPlot, MagneticScaleCoversOnlyTheShownSeries) {
    FieldBlockData block;
    block.emfSeries = Ramp(0.0f, 50.0f);
    block.xSeries.fill(500.0f);
    TrendScale emfOnly = MagneticScaleFor(block, kEmfOnly);
    EXPECT_EQ(emfOnly.pixelsPerUnit, 2.0f);
    EXPECT_EQ(MagneticY(50.0f, emfOnly), 15);
    EXPECT_EQ(MagneticY(25.0f, emfOnly), 65);

    TrendScale withX = MagneticScaleFor(block, {true, false, false, true});
    EXPECT_EQ(withX.pixelsPerUnit, 0.2f);  // 100 / 500
    EXPECT_EQ(MagneticY(500.0f, withX), 15);
}

TEST(TrendPlot, FieldsAbove1000mGKeepTheMinimumAt1000) {
    FieldBlockData block;
    block.emfSeries.fill(1200.0f);
    TrendScale scale = MagneticScaleFor(block, kEmfOnly);
    EXPECT_EQ(scale.minimum, 1000.0f);
    EXPECT_EQ(scale.pixelsPerUnit, 0.5f);
    EXPECT_EQ(MagneticY(1200.0f, scale), 15);
}

TEST(TrendPlot, ExtremesOfTheSeries) {
    FieldSeries series = Ramp(1.0f, 2.0f);
    series[17] = 9.0f;
    series[40] = -3.0f;
    SeriesExtremes ef = EfExtremes(series);
    SeriesExtremes emf = EmfExtremes(series);
    EXPECT_EQ(ef.maximum, 9.0f);
    EXPECT_EQ(ef.minimum, -3.0f);
    EXPECT_EQ(emf.maximum, 9.0f);
    EXPECT_EQ(emf.minimum, -3.0f);
    // Only the newest sample is high: both walks must still find it.
    FieldSeries newest{};
    newest[59] = 4.0f;
    EXPECT_EQ(EmfExtremes(newest).maximum, 4.0f);
    EXPECT_EQ(EfExtremes(newest).maximum, 4.0f);
    EXPECT_EQ(EmfExtremes(FieldSeries{}).minimum, 0.0f);
}

// An EF count past the calibration's range converts to +inf; the plot keeps finite labels and
// pixels, whatever else lies in the series.
TEST(TrendPlot, NonFiniteSamplesAreClampedBeforeTheyBecomePixels) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float odd;
        float expectedMaximum;
        float expectedMinimum;
    };
    // clang-format off
    const Case cases[] = {
        { inf,   kLargestPlottedValue, 1.0f},
        {-inf,   60.0f,               -kLargestPlottedValue},
        { nan,   60.0f,                0.0f},
        { 3e38f, kLargestPlottedValue, 1.0f},
    };
    // clang-format on
    for (const Case& c : cases) {
        FieldSeries ef = Ramp(1.0f, 60.0f);
        ef[30] = c.odd;
        const SeriesExtremes extremes = EfExtremes(ef);
        EXPECT_EQ(extremes.maximum, c.expectedMaximum) << c.odd;
        EXPECT_EQ(extremes.minimum, c.expectedMinimum) << c.odd;
        const TrendScale scale = EfScaleFor(ef);
        for (float v : ef) {
            const int y = EfY(v, scale);
            EXPECT_GE(y, EfBaseY - 101) << c.odd;
            EXPECT_LE(y, EfBaseY) << c.odd;
        }
        EXPECT_EQ(FormatText("%.03lf Vm", extremes.maximum).find("inf"), std::string::npos);
        ef[0] = c.odd;  // the walk's start too
        EXPECT_TRUE(std::isfinite(EfExtremes(ef).maximum)) << c.odd;
        EXPECT_TRUE(std::isfinite(EmfExtremes(ef).minimum)) << c.odd;
    }
}

}  // namespace
