#pragma once
// The times of one recording's rows. The computer's clock dates the first moment; every later
// one is that time plus what a clock no one sets measured since, so a clock set back while
// recording neither sends rows back in time nor hides a gap. A clock set forward was set
// right (a station that booted without one): the rows follow it from then on.

#include <cstdint>
#include <optional>

// SystemClock().RecordingMs() and WallMs() (see Clock), for a recorder on the real clock.
int64_t RecordingClockMs();
int64_t WallClockMs();

class RecordingTimeline {
  public:
    // Seconds since the epoch of a moment seen at clockMs on a clock's RecordingMs() and at
    // wallMs on its WallMs(). Never earlier than a time given before.
    int64_t TimeAt(int64_t clockMs, int64_t wallMs);

  private:
    std::optional<int64_t> startClockMs_;
    int64_t startWallMs_ = 0;
    int64_t lastTime_ = 0;
};
