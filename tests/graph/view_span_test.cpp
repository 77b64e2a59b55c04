#include "graph/view_span.h"

#include <gtest/gtest.h>

namespace {

TEST(ViewSpan, ZoomKeepsThePivotAndPanStaysInTheFile) {
    EXPECT_EQ(ZoomSpan({0, 100}, 0.5, 50), (TimeSpan{25, 75}));
    EXPECT_EQ(ZoomSpan({0, 100}, 2.0, 0), (TimeSpan{0, 200}));
    EXPECT_EQ(ZoomSpan({1000, 1100}, 0.5, 1080), (TimeSpan{1040, 1090}));
    const struct {
        TimeSpan span;
        double fraction;
        TimeSpan moved;
    } pans[] = {
        {{100, 200}, 0.25, {125, 225}},
        {{900, 1000}, 0.25, {900, 1000}},  // already at the end
        {{0, 100}, -0.25, {0, 100}},       // already at the start
        {{0, 2000}, 0.25, {0, 2000}},      // longer than the file
    };
    for (const auto& p : pans)
        EXPECT_EQ(PanSpan(p.span, p.fraction, 0, 1000), p.moved) << p.span.t0;
}

TEST(ViewSpan, OverviewMapsTheWholeFileAndCentresAJump) {
    const StripMap strip{0, 1000, 10, 100};  // 10 s per column from x = 10
    const struct {
        int64_t time;
        int x;
    } columns[] = {{0, 10}, {500, 60}, {1000, 109}, {-5, 10}, {2000, 109}};
    for (const auto& c : columns)
        EXPECT_EQ(StripX(strip, c.time), c.x) << c.time;
    const struct {
        int x;
        int64_t time;
    } times[] = {{10, 0}, {60, 500}, {5, 0}, {500, 990}};
    for (const auto& t : times)
        EXPECT_EQ(StripTime(strip, t.x), t.time) << t.x;
    const struct {
        int64_t length, centre;
        TimeSpan span;
    } jumps[] = {{100, 500, {450, 550}},
                 {100, 20, {0, 100}},
                 {100, 990, {900, 1000}},
                 {2000, 500, {0, 2000}}};
    for (const auto& j : jumps)
        EXPECT_EQ(CentredSpan(j.length, j.centre, 0, 1000), j.span) << j.centre;
}

TEST(ViewSpan, MarkersReadTheNearestRowsAndTheirDifference) {
    TimeSeries series;
    series.names = {"emf_mg"};
    series.times = {0, 10, 20, 30};
    series.columns = {{1, 2, 4, 8}};
    const auto difference = DifferenceOf(series, 9, 26);
    ASSERT_TRUE(difference);
    EXPECT_EQ(difference->seconds, 17);
    EXPECT_EQ(difference->rowA, 1u);
    EXPECT_EQ(difference->rowB, 3u);
    EXPECT_EQ(difference->values, std::vector<double>{6.0});
    EXPECT_EQ(NearestRow(series.times, 5), 0u);  // as near to both: the earlier
    EXPECT_EQ(NearestRow(series.times, 99), 3u);
    EXPECT_FALSE(DifferenceOf(TimeSeries{}, 0, 1));
    const struct {
        int64_t seconds;
        const char* text;
    } durations[] = {{45, "+45 s"},
                     {0, "+0 s"},
                     {-725, "-12:05"},
                     {3723, "+1:02:03"},
                     {273906, "+3 d 04:05:06"}};
    for (const auto& d : durations)
        EXPECT_EQ(DurationText(d.seconds), d.text) << d.seconds;
}

}  // namespace
