#include "record/long_term.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>
#include <iterator>

#include "link/local_time.h"

std::pair<std::size_t, std::size_t> RowsInSpan(const std::vector<int64_t>& times, int64_t t0,
                                               int64_t t1) {
    const auto begin = std::lower_bound(times.begin(), times.end(), t0);
    const auto end = std::upper_bound(begin, times.end(), t1);
    return {static_cast<std::size_t>(begin - times.begin()),
            static_cast<std::size_t>(end - times.begin())};
}

namespace {

int ColumnOf(int64_t time, int64_t t0, int64_t t1, int width) {
    // Spans of years times a few thousand pixels stay far inside 64 bits.
    const int64_t offset = (time - t0) * width;
    return static_cast<int>(std::min<int64_t>(offset / (t1 - t0), width - 1));
}

void Take(PixelColumn& column, float value) {
    if (!column.any) {
        column = {true, value, value, value, value, false, -1};
        return;
    }
    column.min = std::min(column.min, value);
    column.max = std::max(column.max, value);
    column.last = value;
}

}  // namespace

std::vector<PixelColumn> DecimateToColumns(const TimeSeries& series, int column, int64_t t0,
                                           int64_t t1, int width) {
    std::vector<PixelColumn> columns(static_cast<std::size_t>(std::max(width, 0)));
    if (width <= 0 || t1 <= t0 || column < 0 || column >= static_cast<int>(series.columns.size()))
        return columns;
    const std::vector<float>& values = series.columns[column];
    auto [begin, end] = RowsInSpan(series.times, t0, t1);
    int lastColumn = -1;
    for (std::size_t row = begin; row < end; ++row) {
        const int x = ColumnOf(series.times[row], t0, t1, width);
        PixelColumn& pixel = columns[x];
        if (!pixel.any && lastColumn >= 0 && !series.GapBefore(row)) {
            pixel.joined = true;
            pixel.previous = lastColumn;
        }
        const bool joined = pixel.joined;
        const int previous = pixel.previous;
        Take(pixel, values[row]);
        pixel.joined = joined;
        pixel.previous = previous;
        lastColumn = x;
    }
    return columns;
}

SpanFigures FiguresOf(const TimeSeries& series, int column, int64_t t0, int64_t t1) {
    SpanFigures figures;
    if (column < 0 || column >= static_cast<int>(series.columns.size())) return figures;
    const std::vector<float>& values = series.columns[column];
    auto [begin, end] = RowsInSpan(series.times, t0, t1);
    double sum = 0;
    for (std::size_t row = begin; row < end; ++row) {
        const float value = values[row];
        figures.min = figures.count == 0 ? value : std::min(figures.min, value);
        figures.max = figures.count == 0 ? value : std::max(figures.max, value);
        sum += value;
        ++figures.count;
    }
    if (figures.count > 0) figures.mean = sum / static_cast<double>(figures.count);
    return figures;
}

namespace {

constexpr int64_t kMinute = 60;
constexpr int64_t kHour = 3600;
constexpr int64_t kDay = 86400;
// Steps a clock reader counts in.
constexpr std::array<int64_t, 20> kTickSteps = {
    1,        2,           5,           10,           15,           30,
    kMinute,  2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
    kHour,    2 * kHour,   3 * kHour,   6 * kHour,    12 * kHour,   kDay,
    7 * kDay, 28 * kDay};

// A time as written is a wall-clock time kept as if it were UTC.
std::tm ClockFields(int64_t time, ClockTimes clock) {
    const std::time_t when = static_cast<std::time_t>(time);
    return clock == ClockTimes::AsWritten ? UtcTime(when) : LocalTime(when);
}

// Seconds east of UTC at `time`, so ticks fall on round clock times.
int64_t ClockOffset(int64_t time, ClockTimes clock) {
    if (clock == ClockTimes::AsWritten) return 0;
    return LocalOffsetSeconds(static_cast<std::time_t>(time));
}

std::string TickLabel(int64_t time, int64_t step, ClockTimes clock) {
    const std::tm local = ClockFields(time, clock);
    char text[16];
    const bool dayStart = local.tm_hour == 0 && local.tm_min == 0 && local.tm_sec == 0;
    const char* format = step >= kDay || (dayStart && step >= kMinute) ? "%m-%d"
                         : step < kMinute                              ? "%H:%M:%S"
                                                                       : "%H:%M";
    std::strftime(text, sizeof text, format, &local);
    return text;
}

}  // namespace

int64_t TimeTickStep(int64_t t0, int64_t t1, int width, int minSpacing) {
    const double secondsPerPixel =
        width > 0 ? static_cast<double>(std::max<int64_t>(t1 - t0, 1)) / width : 1.0;
    for (int64_t step : kTickSteps)
        if (static_cast<double>(step) / secondsPerPixel >= minSpacing) return step;
    return kTickSteps.back();
}

std::vector<TimeTick> TimeTicks(int64_t t0, int64_t t1, int width, int minSpacing,
                                ClockTimes clock) {
    std::vector<TimeTick> ticks;
    if (t1 <= t0 || width <= 0) return ticks;
    const int64_t step = TimeTickStep(t0, t1, width, minSpacing);
    // Weeks and months of days start on a midnight; shorter steps on a round clock time.
    const int64_t unit = step >= kDay ? kDay : step;
    const int64_t offset = ClockOffset(t0, clock);
    int64_t local = t0 + offset;
    int64_t first = (local / unit) * unit;
    if (first < local) first += unit;
    for (int64_t tick = first - offset; tick <= t1; tick += step)
        ticks.push_back({tick, TickLabel(tick, step, clock)});
    return ticks;
}

std::string ClockText(int64_t time, ClockTimes clock) {
    const std::tm fields = ClockFields(time, clock);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &fields);
    return text;
}

int LabelLeft(int x, int textWidth, int width) {
    return std::max(0, std::min(x - textWidth / 2, width - textWidth));
}

namespace {

// One sweep into pixel row y: each bin over its share of the columns, the strongest kept.
void PaintSweep(std::vector<int16_t>& cells, const SpectrumLevels& dbm, int y, int width) {
    for (int bin = 0; bin < kSpectrumBins; ++bin) {
        const int xFirst = bin * width / kSpectrumBins;
        const int xEnd = std::max(xFirst + 1, (bin + 1) * width / kSpectrumBins);
        for (int x = xFirst; x < xEnd && x < width; ++x) {
            int16_t& cell = cells[static_cast<std::size_t>(y) * width + x];
            cell = std::max<int16_t>(cell, dbm[bin]);
        }
    }
}

}  // namespace

std::vector<int16_t> WaterfallCells(const SpectrumSeries& series, int64_t t0, int64_t t1, int width,
                                    int height) {
    std::vector<int16_t> cells(static_cast<std::size_t>(std::max(width, 0)) *
                                   static_cast<std::size_t>(std::max(height, 0)),
                               kNoSweep);
    if (width <= 0 || height <= 0 || t1 <= t0) return cells;
    std::vector<int64_t> times;
    times.reserve(series.rows.size());
    for (const SpectrumRow& row : series.rows)
        times.push_back(row.time);
    auto [begin, end] = RowsInSpan(times, t0, t1);
    // A sweep stands until the next one, but never across a gap.
    const int64_t usualStep = std::max<int64_t>(1, series.longestStep * 2 / 5);
    for (std::size_t r = begin; r < end; ++r) {
        int64_t until = times[r] + usualStep;
        if (r + 1 < times.size() && times[r + 1] - times[r] <= series.longestStep)
            until = times[r + 1];
        const int yFirst = ColumnOf(times[r], t0, t1, height);
        const int yEnd =
            std::max(yFirst + 1, until > t1 ? height : ColumnOf(until, t0, t1, height));
        for (int y = yFirst; y < yEnd; ++y)
            PaintSweep(cells, series.rows[r].dbm, y, width);
    }
    return cells;
}

namespace {

// Nine evenly spaced points of the viridis scale; between them the colour is interpolated.
constexpr std::array<Rgb, 9> kViridis = {{{68, 1, 84},
                                          {71, 44, 122},
                                          {59, 81, 139},
                                          {44, 113, 142},
                                          {33, 144, 141},
                                          {39, 173, 129},
                                          {92, 200, 99},
                                          {170, 220, 50},
                                          {253, 231, 37}}};

uint8_t Mix(uint8_t a, uint8_t b, double t) {
    return static_cast<uint8_t>(std::lround(a + (b - a) * t));
}

}  // namespace

Rgb ViridisColour(double fraction) {
    if (!(fraction > 0)) return kViridis.front();
    if (fraction >= 1) return kViridis.back();
    const double at = fraction * (kViridis.size() - 1);
    const std::size_t i = static_cast<std::size_t>(at);
    const double t = at - static_cast<double>(i);
    const Rgb& a = kViridis[i];
    const Rgb& b = kViridis[i + 1];
    return {Mix(a.r, b.r, t), Mix(a.g, b.g, t), Mix(a.b, b.b, t)};
}

double LevelFraction(int level, int weakest, int strongest) {
    if (strongest <= weakest) return 0;
    return std::clamp(static_cast<double>(level - weakest) / (strongest - weakest), 0.0, 1.0);
}
