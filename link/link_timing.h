#pragma once
// Sleeping and stopwatches shared by every exchange with the meter.

#include <chrono>
#include <cstdint>

void SleepMs(int milliseconds);

// Monotonic milliseconds since an arbitrary start; for deadlines, never for dates.
int64_t NowMs();

class Stopwatch {
  public:
    Stopwatch() : start_(std::chrono::steady_clock::now()) {}
    double ElapsedMs() const {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_)
            .count();
    }

  private:
    std::chrono::steady_clock::time_point start_;
};
