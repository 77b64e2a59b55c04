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

    // The computer's clock when this one starts: 2026-12-08 12:00:00 UTC, a whole second.
    static constexpr int64_t kWallStartMs = 1'796'731'200'000;

    int64_t NowUs() override;
    void SleepMs(int milliseconds) override;
    // Both run with NowMs(): no suspend, and no one sets the computer's clock.
    int64_t RecordingMs() override { return NowMs(); }
    int64_t WallMs() override { return kWallStartMs + ElapsedMs(); }

    // Moves the time on to atMs; nothing when it is there already.
    void AdvanceToMs(int64_t atMs);

    // Milliseconds since the clock started.
    int64_t ElapsedMs();

  private:
    std::mutex mutex_;
    int64_t nowUs_ = kStartMs * 1000;
};
