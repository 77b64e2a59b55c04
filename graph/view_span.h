#pragma once
// The long-term view's geometry without a window: zooming and panning the visible span, the
// overview strip's mapping of the whole file, and the difference between two markers. Times
// are seconds since the epoch. Pure functions; any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "record/recording_reader.h"

struct TimeSpan {
    int64_t t0 = 0;
    int64_t t1 = 1;
    bool operator==(const TimeSpan&) const = default;
};

// The span scaled by `factor` (below 1 zooms in) about `pivot`, which keeps its place.
TimeSpan ZoomSpan(TimeSpan span, double factor, int64_t pivot);

// The span moved by `fraction` of its length (negative: towards earlier times), then kept
// inside [first, last] when it fits there; a span longer than that keeps its start at first.
TimeSpan PanSpan(TimeSpan span, double fraction, int64_t first, int64_t last);

// The span of `length` seconds centred on `centre`, moved as little as it takes to lie inside
// [first, last] (starting at first when it is the longer).
TimeSpan CentredSpan(int64_t length, int64_t centre, int64_t first, int64_t last);

// The overview strip shows the whole file [first, last] over `width` pixel columns from
// `left`: column left + k covers [first + k·n/width, first + (k+1)·n/width), n = last − first.
struct StripMap {
    int64_t first = 0;
    int64_t last = 1;
    int left = 0;
    int width = 1;
};
int StripX(const StripMap& strip, int64_t time);  // clamped to the strip's columns
int64_t StripTime(const StripMap& strip, int x);  // the start of column x's time, clamped

// Two markers: each stands at a time and reads the row nearest it (none when the series is
// empty). The difference is B − A, in time and in each column.
struct MarkerDifference {
    int64_t seconds = 0;
    std::size_t rowA = 0;
    std::size_t rowB = 0;
    std::vector<double> values;  // per column: value at B minus value at A
};
std::optional<MarkerDifference> DifferenceOf(const TimeSeries& series, int64_t a, int64_t b);

// The row nearest `time`, the earlier of two as near; the series must not be empty.
std::size_t NearestRow(const std::vector<int64_t>& times, int64_t time);

// A signed duration as a clock reads it: "+45 s", "-12:05" (minutes and seconds),
// "+1:02:03", "+3 d 04:05:06".
std::string DurationText(int64_t seconds);
