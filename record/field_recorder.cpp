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
                                              const FieldBlockData& values, int64_t steadyMs,
                                              int64_t wallSeconds) {
    int firstNew = 0;
    int64_t newestTime = wallSeconds;
    if (previous_) {
        const double elapsed = static_cast<double>(steadyMs - previousSteadyMs_) / 1000.0;
        if (std::optional<int> fresh = NewSamplesAfter(*previous_, counts, elapsed)) {
            firstNew = kFieldSamples - *fresh;
            newestTime = newestTime_ + *fresh;
        } else {
            ++gaps_;
            // After a gap the computer's clock dates the block; a clock that went back must
            // still not give a second twice.
            newestTime = std::max(wallSeconds, newestTime_ + 1);
        }
    }
    std::vector<FieldRow> rows;
    for (int k = firstNew; k < kFieldSamples; ++k) {
        const int64_t time = newestTime - (kFieldSamples - 1 - k);
        if (previous_ && time <= newestTime_) continue;
        rows.push_back(RowOf(values, k, time));
    }
    previous_ = counts;
    previousSteadyMs_ = steadyMs;
    newestTime_ = newestTime;
    rows_ += static_cast<int64_t>(rows.size());
    return rows;
}
