#pragma once
// A clock for tests that never waits: a sleep moves its time on at once, so a test of a
// 30-second timeout takes as long as the code it runs. Thread-safe; time never goes back.

#include <cstdint>
#include <mutex>

#include "link/link_timing.h"

class VirtualClock : public Clock {
  public:
    // Starts well away from 0, so no "never" sentinel of the code under test is ever now.
    static constexpr int64_t kStartMs = 3'600'000;

    int64_t NowUs() override;
    void SleepMs(int milliseconds) override;

    // Moves the time on to atMs; nothing when it is there already.
    void AdvanceToMs(int64_t atMs);

    // Milliseconds since the clock started.
    int64_t ElapsedMs();

  private:
    std::mutex mutex_;
    int64_t nowUs_ = kStartMs * 1000;
};
