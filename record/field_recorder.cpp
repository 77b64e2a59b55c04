#include "record/field_recorder.h"

#include <algorithm>

namespace {

FieldRow RowOf(const FieldBlockData& values, int k, int64_t time) {
    return {time,
            values.xSeries[k],
            values.ySeries[k],
            values.zSeries[k],
            values.emfSeries[k],
            values.efSeries[k]};
}

}  // namespace

std::vector<FieldRow> FieldRecorder::AddBlock(const FieldBlockCounts& counts,
                                              const FieldBlockData& values, int64_t clockMs,
                                              int64_t wallMs) {
    int firstNew = 0;
    int64_t newestTime = timeline_.TimeAt(clockMs, wallMs);
    if (previous_) {
        const double elapsed = static_cast<double>(clockMs - previousClockMs_) / 1000.0;
        if (std::optional<int> fresh = NewSamplesAfter(*previous_, counts, elapsed)) {
            firstNew = kFieldSamples - *fresh;
            newestTime = newestTime_ + *fresh;
        } else {
            ++gaps_;
            // The recording's clock dates the block after a gap, and no second comes twice.
            newestTime = std::max(newestTime, newestTime_ + 1);
        }
    }
    std::vector<FieldRow> rows;
    for (int k = firstNew; k < kFieldSamples; ++k) {
        const int64_t time = newestTime - (kFieldSamples - 1 - k);
        if (previous_ && time <= newestTime_) continue;
        rows.push_back(RowOf(values, k, time));
    }
    previous_ = counts;
    previousClockMs_ = clockMs;
    newestTime_ = newestTime;
    rows_ += static_cast<int64_t>(rows.size());
    return rows;
}
