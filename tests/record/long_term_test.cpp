// The long-term views' geometry: nothing hidden by decimation, gaps kept, a readable axis.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "record/long_term.h"

namespace {

TimeSeries OneColumn(std::vector<int64_t> times, std::vector<float> values) {
    TimeSeries series;
    series.names = {"emf_mg"};
    series.times = std::move(times);
    series.columns = {std::move(values)};
    return series;
}

TEST(LongTermDecimation, EveryPeakReachesItsColumnAndGapsStayOpen) {
    // 1000 seconds into 10 columns: one spike of a single second must show.
    std::vector<int64_t> times;
    std::vector<float> values;
    for (int64_t t = 0; t < 1000; ++t) {
        if (t >= 500 && t < 700) continue;  // two columns never read
        times.push_back(t);
        values.push_back(t == 333 ? 50.0f : 1.0f);
    }
    const TimeSeries series = OneColumn(times, values);
    const std::vector<PixelColumn> columns = DecimateToColumns(series, 0, 0, 1000, 10);
    ASSERT_EQ(columns.size(), 10u);
    EXPECT_EQ(columns[3].max, 50.0f);
    EXPECT_EQ(columns[3].min, 1.0f);
    EXPECT_FALSE(columns[5].any);
    EXPECT_FALSE(columns[6].any);
    EXPECT_TRUE(columns[4].joined);
    EXPECT_FALSE(columns[7].joined);  // not drawn across the gap
    EXPECT_FALSE(columns[0].joined);
}

TEST(LongTermDecimation, ZoomedInRowsJoinAcrossEmptyColumns) {
    const TimeSeries series = OneColumn({10, 11, 12}, {1, 2, 3});
    const std::vector<PixelColumn> columns = DecimateToColumns(series, 0, 10, 13, 300);
    EXPECT_TRUE(columns[100].joined);
    EXPECT_EQ(columns[100].previous, 0);
    EXPECT_EQ(columns[200].first, 3.0f);
}

TEST(LongTermFigures, MinMaxAverageOfTheVisibleSpanOnly) {
    const TimeSeries series = OneColumn({0, 1, 2, 3, 10}, {4, 1, 7, 2, 100});
    const SpanFigures figures = FiguresOf(series, 0, 1, 3);
    EXPECT_EQ(figures.count, 3u);
    EXPECT_EQ(figures.min, 1.0f);
    EXPECT_EQ(figures.max, 7.0f);
    EXPECT_DOUBLE_EQ(figures.mean, 10.0 / 3.0);
    EXPECT_EQ(FiguresOf(series, 0, 4, 9).count, 0u);
}

TEST(LongTermAxis, StepsFromSecondsToWeeksOnRoundLocalTimes) {
    setenv("TZ", "CET-1", 1);
    tzset();
    constexpr int64_t kStart = 1796731200;  // 2026-12-08 13:00:00 local
    struct Case {
        int64_t span;
        int64_t step;
        const char* firstLabel;
    };
    const Case cases[] = {
        {60, 5, "13:00:00"},          // a minute over 1200 pixels, labels 90 px apart
        {3600, 5 * 60, "13:00"},      // an hour
        {86400, 2 * 3600, "14:00"},   // a day: on even hours
        {7 * 86400, 86400, "12-09"},  // a week: local midnights
        {60 * 86400, 7 * 86400, "12-09"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TimeTickStep(kStart, kStart + c.span, 1200, 90), c.step) << c.span;
        const std::vector<TimeTick> ticks = TimeTicks(kStart, kStart + c.span, 1200, 90);
        ASSERT_FALSE(ticks.empty()) << c.span;
        EXPECT_EQ(ticks.front().label, c.firstLabel) << c.span;
    }
    unsetenv("TZ");
    tzset();
}

TEST(LongTermWaterfall, CellsKeepTheStrongestAndLeaveUnsweptTimeEmpty) {
    SpectrumSeries series;
    for (int64_t t : {0, 1, 2, 50}) {
        SpectrumRow row;
        row.time = t;
        row.dbm.fill(-100);
        row.dbm[5] = static_cast<int8_t>(-40 - t);
        series.rows.push_back(row);
    }
    series.longestStep = 2;
    const std::vector<int16_t> cells = WaterfallCells(series, 0, 60, 64, 60);
    EXPECT_EQ(cells[0 * 64 + 2], -40);  // bin 5 of 128 lands in column 2 of 64
    EXPECT_EQ(cells[0 * 64 + 3], -100);
    EXPECT_EQ(cells[10 * 64 + 2], kNoSweep);  // nothing swept between 3 s and 50 s
    EXPECT_EQ(cells[50 * 64 + 2], -90);
}

TEST(LongTermColours, ViridisRunsFromDarkBlueToYellow) {
    EXPECT_EQ(ViridisColour(0.0), (Rgb{68, 1, 84}));
    EXPECT_EQ(ViridisColour(1.0), (Rgb{253, 231, 37}));
    EXPECT_EQ(ViridisColour(-3.0), ViridisColour(0.0));
    EXPECT_EQ(ViridisColour(0.5), (Rgb{33, 144, 141}));
    EXPECT_DOUBLE_EQ(LevelFraction(-70, -100, -40), 0.5);
}

}  // namespace
