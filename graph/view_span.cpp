#include "graph/view_span.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int64_t kMinute = 60;
constexpr int64_t kHour = 3600;
constexpr int64_t kDay = 86400;

int64_t Rounded(double seconds) {
    return static_cast<int64_t>(std::llround(seconds));
}

TimeSpan KeptInside(TimeSpan span, int64_t first, int64_t last) {
    const int64_t length = span.t1 - span.t0;
    if (length >= last - first) return {first, first + length};
    if (span.t0 < first) return {first, first + length};
    if (span.t1 > last) return {last - length, last};
    return span;
}

}  // namespace

TimeSpan ZoomSpan(TimeSpan span, double factor, int64_t pivot) {
    return {pivot - Rounded(static_cast<double>(pivot - span.t0) * factor),
            pivot + Rounded(static_cast<double>(span.t1 - pivot) * factor)};
}

TimeSpan PanSpan(TimeSpan span, double fraction, int64_t first, int64_t last) {
    const int64_t shift = Rounded(static_cast<double>(span.t1 - span.t0) * fraction);
    return KeptInside({span.t0 + shift, span.t1 + shift}, first, last);
}

TimeSpan CentredSpan(int64_t length, int64_t centre, int64_t first, int64_t last) {
    const int64_t t0 = centre - length / 2;
    return KeptInside({t0, t0 + length}, first, last);
}

int StripX(const StripMap& strip, int64_t time) {
    const int64_t n = std::max<int64_t>(strip.last - strip.first, 1);
    const int64_t k = (std::clamp(time, strip.first, strip.last) - strip.first) * strip.width / n;
    return strip.left + static_cast<int>(std::min<int64_t>(k, strip.width - 1));
}

int64_t StripTime(const StripMap& strip, int x) {
    const int64_t k = std::clamp(x - strip.left, 0, std::max(strip.width - 1, 0));
    const int64_t n = std::max<int64_t>(strip.last - strip.first, 1);
    return strip.first + k * n / std::max(strip.width, 1);
}

std::size_t NearestRow(const std::vector<int64_t>& times, int64_t time) {
    const auto after = std::lower_bound(times.begin(), times.end(), time);
    const std::size_t row = static_cast<std::size_t>(after - times.begin());
    if (row == 0) return 0;
    if (row == times.size() || time - times[row - 1] <= *after - time) return row - 1;
    return row;
}

std::optional<MarkerDifference> DifferenceOf(const TimeSeries& series, int64_t a, int64_t b) {
    if (series.times.empty()) return std::nullopt;
    MarkerDifference difference{
        b - a, NearestRow(series.times, a), NearestRow(series.times, b), {}};
    for (const std::vector<float>& column : series.columns)
        difference.values.push_back(static_cast<double>(column[difference.rowB]) -
                                    static_cast<double>(column[difference.rowA]));
    return difference;
}

std::string DurationText(int64_t seconds) {
    const char sign = seconds < 0 ? '-' : '+';
    const int64_t s = std::llabs(seconds);
    const long long days = s / kDay, hours = s % kDay / kHour, minutes = s % kHour / kMinute,
                    rest = s % kMinute;
    char text[48];
    if (s >= kDay)
        std::snprintf(text, sizeof text, "%c%lld d %02lld:%02lld:%02lld", sign, days, hours,
                      minutes, rest);
    else if (s >= kHour)
        std::snprintf(text, sizeof text, "%c%lld:%02lld:%02lld", sign, hours, minutes, rest);
    else if (s >= kMinute)
        std::snprintf(text, sizeof text, "%c%lld:%02lld", sign, minutes, rest);
    else
        std::snprintf(text, sizeof text, "%c%lld s", sign, rest);
    return text;
}
