#include "record/recording_timeline.h"

#include <algorithm>

#include "link/link_timing.h"

int64_t RecordingClockMs() {
    return SystemClock().RecordingMs();
}

int64_t WallClockMs() {
    return SystemClock().WallMs();
}

namespace {

// A wall clock this far ahead of the recording's own was set right (a station that booted
// without a clock and then reached a time server): its rows are dated by it from then on.
constexpr int64_t kWallClockSetForwardMs = 2000;

}  // namespace

int64_t RecordingTimeline::TimeAt(int64_t clockMs, int64_t wallMs) {
    if (!startClockMs_) {
        startClockMs_ = clockMs;
        startWallMs_ = wallMs;
        lastTime_ = wallMs / 1000;
    }
    const int64_t elapsedMs = std::max<int64_t>(clockMs - *startClockMs_, 0);
    if (wallMs - (startWallMs_ + elapsedMs) > kWallClockSetForwardMs) {
        startClockMs_ = clockMs;
        startWallMs_ = wallMs;
        return lastTime_ = std::max(lastTime_, wallMs / 1000);
    }
    lastTime_ = std::max(lastTime_, (startWallMs_ + elapsedMs) / 1000);
    return lastTime_;
}
