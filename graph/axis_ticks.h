#pragma once
// Round ticks for any plot axis, without a window: value axes step by 1, 2 or 5 times a power
// of ten and label each tick in its unit's own format; time axes label clock times, with the
// date when the view spans days. Pure functions; any thread.

#include <cstdint>
#include <string>
#include <vector>

#include "record/long_term.h"

// The units an axis reads in; each has its own label format.
enum class AxisUnit {
    None,             // "2.5"
    MilliGauss,       // "2.5 mG"
    VoltsPerMetre,    // "20 V/m"
    Dbm,              // "-90 dBm": whole dB only, as the meter reports them
    Megahertz,        // "433.5 MHz"
    PicowattsPerCm2,  // "900 pW/cm²", "40 nW/cm²", "1.5 µW/cm²", "2 mW/cm²" (UTF-8)
};

struct AxisTick {
    double value = 0;
    std::string label;
    bool operator==(const AxisTick&) const = default;
};

// The smallest step of 1, 2 or 5 times a power of ten whose multiples in [lo, hi] number at
// most maxCount (at least 2); for dBm never below 1. 0 for an empty or non-finite range.
double RoundStep(double lo, double hi, int maxCount, AxisUnit unit = AxisUnit::None);

// The multiples of RoundStep in [lo, hi], ascending, each labelled in `unit`. Empty for a
// range that is not finite; lo and hi may come in either order.
std::vector<AxisTick> RoundTicks(double lo, double hi, int maxCount,
                                 AxisUnit unit = AxisUnit::None);

// [lo, hi] widened to whole steps so both ends carry a tick, for an axis scaled to its data:
// (0, 47.3, 6) -> 0 .. 50 by 10. An empty range (lo == hi) grows upwards by 1.
struct AxisRange {
    double lo = 0;
    double hi = 1;
    double step = 1;
    bool operator==(const AxisRange&) const = default;
};
AxisRange RoundRange(double lo, double hi, int maxCount, AxisUnit unit = AxisUnit::None);

// A value labelled as on an axis whose ticks are `step` apart: as many decimals as the step
// needs, never an exponent; "-0" reads "0".
std::string AxisLabel(double value, double step, AxisUnit unit = AxisUnit::None);

// A reading as the viewers print it: four significant digits without an exponent and
// without trailing zeros ("50000", "1.234", "0.05", "-3.3"), at most six decimals.
std::string ReadingText(double value);

// The unit's axis for a recorded column ("emf_mg" -> MilliGauss, "rf_pw_cm2" ->
// PicowattsPerCm2); None for a column it does not know.
AxisUnit UnitOfColumn(const std::string& column);

// Where `hz` falls among ascending bin frequencies, as a fractional bin index found by
// straight lines between neighbouring bins (frequencies {100, 200, 400}: 300 Hz -> 1.5).
// -1 when it lies outside them or they do not ascend.
double BinPositionOf(const std::vector<uint32_t>& binHz, double hz);

// Ticks of a time axis `width` pixels wide showing [t0, t1], at least minSpacing pixels
// apart on round clock times (as TimeTicks places them). Labels read "10:15:30" for steps
// under a minute, "10:15" for longer ones; a view spanning a day or more carries the date
// on every label ("12-08 10:15", or "2026-12-08" for steps of whole days), a shorter one on
// the tick at a midnight ("12-09 00:00").
std::vector<TimeTick> ClockTicks(int64_t t0, int64_t t1, int width, int minSpacing,
                                 ClockTimes clock = ClockTimes::Local);
