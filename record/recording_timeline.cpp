#include "record/recording_timeline.h"

#include <time.h>

#include <algorithm>
#include <chrono>

int64_t RecordingClockMs() {
    timespec now{};
#ifdef CLOCK_BOOTTIME
    clock_gettime(CLOCK_BOOTTIME, &now);
#else
    clock_gettime(CLOCK_MONOTONIC, &now);
#endif
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

int64_t WallClockMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
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
