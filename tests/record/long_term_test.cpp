// The long-term views' geometry: nothing hidden by decimation, gaps kept, a readable axis;
// and what the views are given: only whole files, a history on the meter's own clock.

#include <gtest/gtest.h>

#include "record/long_term.h"
#include "tests/support/zone_scope.h"

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
    ZoneScope zone("CET-1");
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
}

TEST(LongTermAxis, LabelsStayWholeInsideThePicture) {
    struct Case {
        int x, textWidth, left;
    };
    const Case cases[] = {{600, 50, 575}, {1195, 50, 1150}, {1199, 50, 1150}, {3, 50, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(LabelLeft(c.x, c.textWidth, 1200), c.left) << c.x;
}

TEST(LongTermFiles, ReadingsThatNeverWereAreRefusedAtTheirLine) {
    const std::string field = "time,x_mg,y_mg,z_mg,emf_mg,ef_vm\n";
    const std::string row = "2026-12-08T12:00:00+01:00,1.5,2,3,4,5\n";
    const std::string history =
        "ZTX-440 Data Logged History\r\n,EMF,EF,RF Power Density\r\n"
        "Date and Time,mG,V/m,mW/m2,mW/cm2,pW/cm2, Possible Source\r\n"
        "2026/12/08 12:00:00,1.2,18.5,0.009,0.000,900.000,\r\n";
    enum Kind { kField, kHistory };
    struct Case {
        const char* name;
        Kind kind;
        std::string text;
        int line;  // the first line refused
    };
    const Case cases[] = {
        {"empty", kField, "", 1},
        {"nan", kField, field + row + "2026-12-08T12:00:01+01:00,nan,2,3,4,5\n", 3},
        {"inf", kField, field + row + "2026-12-08T12:00:01+01:00,1,2,3,4,-inf\n", 3},
        {"31 February", kField, field + "2026-02-31T12:00:00+01:00,1,2,3,4,5\n", 2},
        {"zone +99:99", kField, field + "2026-12-08T12:00:00+99:99,1,2,3,4,5\n", 2},
        {"NUL after the time", kField, field + row.substr(0, 25) + '\0' + row.substr(25), 2},
        {"NUL in a cut-off row", kField, field + row + std::string(12, '\0'), 3},
        {"blank lines", kField, field + row + std::string(100000, '\n'), 3},
        {"a line without end", kField, field + std::string(1 << 20, '1') + "\n", 2},
        {"history nan", kHistory, history + "2026/12/08 12:00:01,nan,18.5,0,0,900,\r\n", 5},
        {"history month 13", kHistory, history + "2026/13/08 12:00:00,1,18.5,0,0,900,\r\n", 5},
        {"history hour 24", kHistory, history + "2026/12/08 24:00:00,1,18.5,0,0,900,\r\n", 5},
        {"history NUL", kHistory, history + "2026/12/08 12:00:01,1,18,0,0,9,Sm" + '\0' + "rt\r\n",
         5},
        {"history blank", kHistory, history + "\r\n", 5},
    };
    for (const Case& c : cases) {
        TimeSeries series;
        std::string error;
        const bool read = c.kind == kField ? ParseFieldRecording(c.text, &series, &error)
                                           : ParseHistoryCsv(c.text, &series, &error);
        EXPECT_FALSE(read) << c.name;
        EXPECT_EQ(error.rfind("line " + std::to_string(c.line) + ":", 0), 0u)
            << c.name << ": " << error;
    }
}

// The meter's clock has no daylight saving: at the spring change its 02:xx rows are its own.
TEST(LongTermFiles, HistoryTimesStayAsTheMeterWroteThem) {
    ZoneScope zone("CET-1CEST,M3.5.0,M10.5.0/3");  // 2026-03-29 02:00 local does not exist
    std::string text =
        "ZTX-440 Data Logged History\r\n,EMF,EF,RF Power Density\r\n"
        "Date and Time,mG,V/m,mW/m2,mW/cm2,pW/cm2, Possible Source\r\n";
    const char* times[] = {"01:59:59", "02:00:00", "02:30:00", "03:00:00", "03:30:00"};
    for (const char* time : times)
        text += std::string("2026/03/29 ") + time + ",1.0,18.0,0,0,900,\r\n";
    // The table's running count knows no month's end: its day 32 follows day 31.
    text += "2026/03/31 23:59:59,1.0,18.0,0,0,900,\r\n2026/03/32 00:00:00,1.0,18.0,0,0,900,\r\n";
    TimeSeries series;
    std::string error;
    ASSERT_TRUE(ParseHistoryCsv(text, &series, &error)) << error;
    ASSERT_EQ(series.times.size(), 7u);
    EXPECT_EQ(series.times[6] - series.times[5], 1);
    for (std::size_t row = 0; row < 5; ++row)
        EXPECT_EQ(ClockText(series.times[row], series.clock),
                  std::string("2026-03-29 ") + times[row]);
    int64_t from = 0;
    ASSERT_TRUE(ParseWrittenTime("2026-03-29 02:30", &from));
    EXPECT_EQ(from, series.times[2]);
    const std::vector<TimeTick> ticks =
        TimeTicks(series.times[0], series.times[4], 1200, 90, series.clock);
    ASSERT_FALSE(ticks.empty());
    EXPECT_EQ(ticks.front().label, "02:00");
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
