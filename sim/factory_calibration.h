#pragma once
// The meter's factory calibration: how raw sensor counts relate to milligauss and volts per
// metre, by firmware revision. The meter measures a field and must report the counts that its
// calibration turns back into that field, so it walks the curves backwards.
//
// The meter keeps these curves in its own firmware; the program keeps its own copy. They are
// deliberately not shared, so a fault on either side shows up across the link.

#include <cstdint>

// Which curve a revision uses: R0 below 2.0 and from 3.5 on, R2 from 2.0, R3 from 3.0.
enum class CurveSet { R0, R2, R3 };
CurveSet CurveSetFor(float revision);

// Field strength for a count, as the program computes it (never negative).
double MilligaussForCount(float revision, int32_t count);
double VoltsPerMetreForCount(float revision, int32_t count);

// The lowest count that reads at least the given field; the top of the range when none does.
int32_t CountForMilligauss(float revision, double milligauss);
int32_t CountForVoltsPerMetre(float revision, double voltsPerMetre);

// Counts are searched in this range: the sensors' converters never report outside it.
inline constexpr int32_t kLowestCount = -200;
inline constexpr int32_t kHighestCount = 16000;
