#include "record/field_alignment.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "measure/field_reading.h"

FieldBlockCounts ReadFieldCounts(std::span<const uint8_t> reply) {
    FieldBlockCounts counts{};
    for (int k = 0; k < kFieldSamples; ++k) {
        const std::size_t base = kFieldRecordSize * static_cast<std::size_t>(k);
        counts[k] = {
            ReadCountLE(reply, base + kEfCountOffset), ReadCountLE(reply, base + kXCountOffset),
            ReadCountLE(reply, base + kYCountOffset), ReadCountLE(reply, base + kZCountOffset)};
    }
    return counts;
}

namespace {

// True when the oldest `overlap` samples of next are the newest `overlap` of previous.
bool OverlapMatches(const FieldBlockCounts& previous, const FieldBlockCounts& next, int overlap) {
    return std::equal(next.begin(), next.begin() + overlap, previous.end() - overlap);
}

}  // namespace

std::optional<int> NewSamplesAfter(const FieldBlockCounts& previous, const FieldBlockCounts& next,
                                   double elapsedSeconds) {
    std::optional<int> best;
    double bestDistance = kAlignmentToleranceSeconds;
    for (int overlap = kFieldSamples; overlap >= 1; --overlap) {
        const int shift = kFieldSamples - overlap;
        const double distance = std::fabs(shift - elapsedSeconds);
        if (distance <= bestDistance && OverlapMatches(previous, next, overlap)) {
            best = shift;
            bestDistance = distance;
        }
    }
    return best;
}
