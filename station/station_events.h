#pragma once
// The event stream's hub: the station's events in one bounded window that every stream reads
// at its own pace. Publishing never waits on a stream; a stream that falls a whole window
// behind (its client does not read) is dropped, so a slow client never slows the meters.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

#include "station/station.h"

inline constexpr int kMaxEventClients = 64;
inline constexpr size_t kEventWindow = 256;  // events kept for the streams behind

class StationEvents {
  public:
    // From a meter's worker: keeps the event and wakes the streams.
    void Publish(const StationEvent& event);

    // A stream's place: false when kMaxEventClients streams are open or the hub is closed.
    bool Join(uint64_t* next);
    void Leave();

    enum class Wait { Event, Idle, Behind, Closed };
    // The event at *next (then *next moves on), or Idle after `idle` without one, or Behind
    // when it has left the window, or Closed.
    Wait Next(uint64_t* next, StationEvent* event, std::chrono::milliseconds idle);

    // Ends every stream's wait for good.
    void Close();
    int Clients() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<StationEvent> window_;
    uint64_t first_ = 0;  // the number of window_.front()
    int clients_ = 0;
    bool closed_ = false;
};
