#pragma once
// The long-term views' geometry, without a window: which values each pixel column shows, the
// time axis's ticks and labels, the figures of the visible span, the waterfall's cells and
// its colour scale. Pure functions; any thread.

#include <cstdint>
#include <string>
#include <vector>

#include "record/recording_reader.h"

// What one pixel column of a trace shows: every value whose time falls in it (min to max, so
// no peak is hidden however far the view is zoomed out), and whether a line joins it to the
// column holding the row before (not across a gap).
struct PixelColumn {
    bool any = false;
    float min = 0;
    float max = 0;
    float first = 0;  // the value of its earliest row
    float last = 0;   // the value of its latest row
    bool joined = false;
    int previous = -1;  // the column the line comes from when joined
};

// Column x covers [t0 + x·span/width, t0 + (x+1)·span/width), span = t1 − t0 > 0.
std::vector<PixelColumn> DecimateToColumns(const TimeSeries& series, int column, int64_t t0,
                                           int64_t t1, int width);

struct SpanFigures {
    std::size_t count = 0;  // rows in the span; the figures mean nothing when 0
    float min = 0;
    float max = 0;
    double mean = 0;
};

// Rows with t0 <= time <= t1.
SpanFigures FiguresOf(const TimeSeries& series, int column, int64_t t0, int64_t t1);

struct TimeTick {
    int64_t time = 0;
    std::string label;  // clock time: "10:15:30", "10:15", or "12-08" at a day's start
};

// Ticks at a round clock-time step (1 s up to 28 days) at least minSpacing pixels apart, on
// the local clock or, for a history, the meter's clock as written.
std::vector<TimeTick> TimeTicks(int64_t t0, int64_t t1, int width, int minSpacing,
                                ClockTimes clock = ClockTimes::Local);

// "2026-12-08 10:15:03" on that clock.
std::string ClockText(int64_t time, ClockTimes clock);

// The left edge of a label textWidth pixels wide centred under x, moved as little as it
// takes to lie whole inside a picture `width` pixels wide.
int LabelLeft(int x, int textWidth, int width);

// The time axis step TimeTicks chooses, in seconds.
int64_t TimeTickStep(int64_t t0, int64_t t1, int width, int minSpacing);

// The rows from `first` with t0 <= time <= t1: [begin, end) indices into the series.
std::pair<std::size_t, std::size_t> RowsInSpan(const std::vector<int64_t>& times, int64_t t0,
                                               int64_t t1);

// A waterfall of width × height cells, row 0 the earliest: each cell holds the strongest
// level (dBm) of the sweeps and bins that fall in it, or kNoSweep where nothing was swept.
inline constexpr int16_t kNoSweep = -1000;
std::vector<int16_t> WaterfallCells(const SpectrumSeries& series, int64_t t0, int64_t t1, int width,
                                    int height);

struct Rgb {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    bool operator==(const Rgb&) const = default;
};

// The perceptual scale from dark blue (0) through green to yellow (1); clamped.
Rgb ViridisColour(double fraction);

// Where a level sits on the waterfall's scale: the weakest level the meter reports to the
// strongest one seen.
double LevelFraction(int level, int weakest, int strongest);
