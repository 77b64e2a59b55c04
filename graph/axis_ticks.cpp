#include "graph/axis_ticks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>

#include "link/local_time.h"

namespace {

constexpr int64_t kMinute = 60;
constexpr int64_t kDay = 86400;
constexpr double kSlack = 1e-9;  // in steps: a multiple this close to an end still counts

struct UnitFormat {
    AxisUnit unit;
    const char* column;  // the recorded column read in it
    const char* suffix;
    double smallestStep;
};

// clang-format off
constexpr UnitFormat kUnitFormats[] = {
    {AxisUnit::None,            "",          "",        0.0},
    {AxisUnit::MilliGauss,      "emf_mg",    " mG",     0.0},
    {AxisUnit::VoltsPerMetre,   "ef_vm",     " V/m",    0.0},
    {AxisUnit::Dbm,             "",          " dBm",    1.0},
    {AxisUnit::Megahertz,       "",          " MHz",    0.0},
    {AxisUnit::PicowattsPerCm2, "rf_pw_cm2", "",        0.0},
};

// Power density is shown in the largest prefix the tick step reaches.
struct PowerPrefix { double from; const char* suffix; };
constexpr PowerPrefix kPowerPrefixes[] = {
    {1e9, " mW/cm²"}, {1e6, " µW/cm²"}, {1e3, " nW/cm²"}, {0.0, " pW/cm²"},
};
// clang-format on

const UnitFormat& FormatOf(AxisUnit unit) {
    for (const UnitFormat& format : kUnitFormats)
        if (format.unit == unit) return format;
    return kUnitFormats[0];
}

int MultiplesIn(double lo, double hi, double step) {
    return static_cast<int>(std::floor(hi / step + kSlack) - std::ceil(lo / step - kSlack)) + 1;
}

int StepsToCover(double lo, double hi, double step) {
    return static_cast<int>(std::ceil(hi / step - kSlack) - std::floor(lo / step + kSlack)) + 1;
}

// 10 to the exponent, correctly rounded on every system: 10^n is exact in a double up to
// n = 22 and one division rounds once, where some C libraries' pow is a last digit off.
double PowerOfTen(int exponent) {
    double power = 1.0;
    for (int i = 0; i < std::abs(exponent); ++i)
        power *= 10.0;
    return exponent < 0 ? 1.0 / power : power;
}

// 1, 2, 5 times powers of ten from a tenth of span / count upwards until `fits` holds.
template <typename Fits>
double FirstRoundStep(double span, int maxCount, AxisUnit unit, Fits fits) {
    double power = PowerOfTen(static_cast<int>(std::floor(std::log10(span / maxCount))) - 1);
    for (;; power *= 10.0)
        for (double mantissa : {1.0, 2.0, 5.0}) {
            const double step = std::max(mantissa * power, FormatOf(unit).smallestStep);
            if (fits(step)) return step;
        }
}

bool UsableRange(double lo, double hi) {
    return std::isfinite(lo) && std::isfinite(hi) && std::isfinite(hi - lo);
}

std::string Decimal(double value, double step) {
    const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - kSlack));
    if (std::fabs(value) < step * 1e-6) value = 0.0;
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", std::clamp(decimals, 0, 12), value);
    std::string_view shown(text);
    if (shown.starts_with('-') && shown.find_first_not_of("-0.") == std::string_view::npos)
        shown.remove_prefix(1);  // a value rounded to nothing has no sign
    return std::string(shown);
}

std::tm ClockFieldsOf(int64_t time, ClockTimes clock) {
    const std::time_t when = static_cast<std::time_t>(time);
    // A time as written is a wall-clock time kept as UTC.
    return clock == ClockTimes::AsWritten ? UtcTime(when) : LocalTime(when);
}

const char* ClockFormat(const std::tm& fields, int64_t step, bool spansDays) {
    const bool midnight = fields.tm_hour == 0 && fields.tm_min == 0 && fields.tm_sec == 0;
    if (step >= kDay) return "%Y-%m-%d";
    if (spansDays || midnight) return step < kMinute ? "%m-%d %H:%M:%S" : "%m-%d %H:%M";
    return step < kMinute ? "%H:%M:%S" : "%H:%M";
}

}  // namespace

double RoundStep(double lo, double hi, int maxCount, AxisUnit unit) {
    if (!UsableRange(lo, hi)) return 0.0;
    if (lo > hi) std::swap(lo, hi);
    maxCount = std::max(maxCount, 2);
    const double span = hi > lo ? hi - lo : std::max(1.0, std::fabs(lo));
    return FirstRoundStep(span, maxCount, unit,
                          [&](double step) { return MultiplesIn(lo, hi, step) <= maxCount; });
}

std::vector<AxisTick> RoundTicks(double lo, double hi, int maxCount, AxisUnit unit) {
    std::vector<AxisTick> ticks;
    const double step = RoundStep(lo, hi, maxCount, unit);
    if (step <= 0.0) return ticks;
    if (lo > hi) std::swap(lo, hi);
    for (double k = std::ceil(lo / step - kSlack); k * step <= hi + step * kSlack; k += 1.0)
        ticks.push_back({k * step, AxisLabel(k * step, step, unit)});
    return ticks;
}

AxisRange RoundRange(double lo, double hi, int maxCount, AxisUnit unit) {
    if (!UsableRange(lo, hi)) return {};
    if (lo > hi) std::swap(lo, hi);
    if (hi == lo) hi = lo + 1.0;
    maxCount = std::max(maxCount, 2);
    const double step = FirstRoundStep(
        hi - lo, maxCount, unit, [&](double s) { return StepsToCover(lo, hi, s) <= maxCount; });
    return {std::floor(lo / step + kSlack) * step, std::ceil(hi / step - kSlack) * step, step};
}

std::string AxisLabel(double value, double step, AxisUnit unit) {
    if (!(step > 0.0)) step = 1.0;
    if (unit != AxisUnit::PicowattsPerCm2) return Decimal(value, step) + FormatOf(unit).suffix;
    for (const PowerPrefix& prefix : kPowerPrefixes) {
        const double scale = prefix.from > 0.0 ? prefix.from : 1.0;
        if (step >= prefix.from) return Decimal(value / scale, step / scale) + prefix.suffix;
    }
    return Decimal(value, step);
}

std::string ReadingText(double value) {
    if (!std::isfinite(value)) return value > 0 ? "inf" : value < 0 ? "-inf" : "nan";
    constexpr int kSignificant = 4;
    constexpr int kMostDecimals = 6;
    const int digits =
        value == 0.0 ? 1 : static_cast<int>(std::floor(std::log10(std::fabs(value)))) + 1;
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", std::clamp(kSignificant - digits, 0, kMostDecimals),
                  value);
    std::string shown(text);
    if (shown.find('.') != std::string::npos) {
        shown.erase(shown.find_last_not_of('0') + 1);
        if (shown.back() == '.') shown.pop_back();
    }
    if (shown == "-0") shown = "0";
    return shown;
}

double BinPositionOf(const std::vector<uint32_t>& binHz, double hz) {
    for (std::size_t i = 1; i < binHz.size(); ++i)
        if (binHz[i] <= binHz[i - 1]) return -1.0;
    if (binHz.empty() || !(hz >= binHz.front() && hz <= binHz.back())) return -1.0;
    if (binHz.size() == 1) return 0.0;
    const auto above = std::lower_bound(binHz.begin() + 1, binHz.end(), hz);
    const std::size_t i = static_cast<std::size_t>(above - binHz.begin());
    const double low = binHz[i - 1];
    return static_cast<double>(i - 1) + (hz - low) / (binHz[i] - low);
}

AxisUnit UnitOfColumn(const std::string& column) {
    if (column == "x_mg" || column == "y_mg" || column == "z_mg") return AxisUnit::MilliGauss;
    for (const UnitFormat& format : kUnitFormats)
        if (*format.column != '\0' && column == format.column) return format.unit;
    return AxisUnit::None;
}

std::vector<TimeTick> ClockTicks(int64_t t0, int64_t t1, int width, int minSpacing,
                                 ClockTimes clock) {
    std::vector<TimeTick> ticks = TimeTicks(t0, t1, width, minSpacing, clock);
    const int64_t step = TimeTickStep(t0, t1, width, minSpacing);
    const bool spansDays = t1 - t0 >= kDay;
    for (TimeTick& tick : ticks) {
        const std::tm fields = ClockFieldsOf(tick.time, clock);
        char text[32];
        std::strftime(text, sizeof text, ClockFormat(fields, step, spansDays), &fields);
        tick.label = text;
    }
    return ticks;
}
