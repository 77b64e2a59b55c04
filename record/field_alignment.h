#pragma once
// Where a newly fetched 60-second field block continues the one before. The meter slides its
// block by one sample a second, so consecutive blocks share a run of samples: the newest of
// the old block are the oldest of the new. Samples are compared on their raw counts; the
// records' first four bytes are not interpreted. Where several overlaps fit (a stretch of
// identical values), the time between the fetches chooses among them.

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "measure/measurement.h"

// The four counts of one record, as the meter sent them.
struct FieldCounts {
    int32_t ef = 0;
    int32_t x = 0;
    int32_t y = 0;
    int32_t z = 0;
    bool operator==(const FieldCounts&) const = default;
};

using FieldBlockCounts = std::array<FieldCounts, kFieldSamples>;

// An overlap is believed only when the seconds it implies differ from the time between the
// fetches by at most this much: fetch jitter and the sample phase stay well inside it.
inline constexpr double kAlignmentToleranceSeconds = 3.0;

// The counts of the 60 records of a whole "<GETEMFDATA>>" reply.
FieldBlockCounts ReadFieldCounts(std::span<const uint8_t> reply);

// The number of new samples at the end of `next` (0 to 59) when it continues `previous`
// fetched `elapsedSeconds` earlier: of the overlaps whose samples match exactly, the one
// whose implied seconds lie nearest the elapsed time, if within the tolerance. Nothing when
// no overlap fits: the blocks are then separated by a gap.
std::optional<int> NewSamplesAfter(const FieldBlockCounts& previous, const FieldBlockCounts& next,
                                   double elapsedSeconds);
