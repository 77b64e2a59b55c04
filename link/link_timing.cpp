#include "link/link_timing.h"

#include <time.h>

#include <chrono>
#include <thread>

int64_t RealClock::NowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void RealClock::SleepMs(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int64_t RealClock::RecordingMs() {
    timespec now{};
#ifdef CLOCK_BOOTTIME
    clock_gettime(CLOCK_BOOTTIME, &now);
#else
    clock_gettime(CLOCK_MONOTONIC, &now);
#endif
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

int64_t RealClock::WallMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

Clock& SystemClock() {
    static RealClock clock;  // stateless: shared by every thread without a lock
    return clock;
}

void SleepMs(int milliseconds) {
    SystemClock().SleepMs(milliseconds);
}

int64_t NowMs() {
    return SystemClock().NowMs();
}
