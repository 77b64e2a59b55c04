#include "link/link_timing.h"

#include <chrono>
#include <thread>

int64_t RealClock::NowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void RealClock::SleepMs(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
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
