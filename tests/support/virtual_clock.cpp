#include "tests/support/virtual_clock.h"

#include <algorithm>

int64_t VirtualClock::NowUs() {
    std::lock_guard lock(mutex_);
    return nowUs_;
}

void VirtualClock::SleepMs(int milliseconds) {
    std::lock_guard lock(mutex_);
    if (milliseconds > 0) nowUs_ += int64_t{milliseconds} * 1000;
}

void VirtualClock::AdvanceToMs(int64_t atMs) {
    std::lock_guard lock(mutex_);
    nowUs_ = std::max(nowUs_, atMs * 1000);
}

int64_t VirtualClock::ElapsedMs() {
    return NowMs() - kStartMs;
}
