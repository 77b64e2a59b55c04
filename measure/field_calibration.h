#pragma once
// The meters' calibration curves: raw field counts to milligauss and volts per metre.
// Which curve applies depends on the firmware revision; a revision equal to a band limit
// (2.0, 3.0, 3.5) belongs to the band above it. Results are never negative.

#include <cstdint>
#include <span>

// Firmware bands that change the conversions. Early and Late share the R0 tables; only the
// early firmware doubles its electric-field result.
enum class CalibrationBand { kEarly, kR2, kR3, kLate };

CalibrationBand CalibrationBandFor(float revision);

// One piece of a piecewise-linear curve: slope * value + offset for value < bound.
struct CalibrationRow {
    double bound;
    double slope;
    double offset;
};

// slope * value + offset of the first row whose bound is above value; the last row covers
// everything beyond. Not clamped.
double ApplyCalibration(std::span<const CalibrationRow> table, double value);

// Magnetic field of one axis (or of the summed axes on R2 firmware), in mG.
float ConvertEmfCount(int32_t count, float revision);

// Electric field, in V/m.
float ConvertEfCount(int32_t count, float revision);
