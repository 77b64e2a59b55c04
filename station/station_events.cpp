#include "station/station_events.h"

void StationEvents::Publish(const StationEvent& event) {
    {
        std::lock_guard lock(mutex_);
        window_.push_back(event);
        if (window_.size() > kEventWindow) {
            window_.pop_front();
            ++first_;
        }
    }
    changed_.notify_all();
}

bool StationEvents::Join(uint64_t* next) {
    std::lock_guard lock(mutex_);
    if (closed_ || clients_ >= kMaxEventClients) return false;
    ++clients_;
    *next = first_ + window_.size();
    return true;
}

void StationEvents::Leave() {
    std::lock_guard lock(mutex_);
    --clients_;
}

StationEvents::Wait StationEvents::Next(uint64_t* next, StationEvent* event,
                                        std::chrono::milliseconds idle) {
    std::unique_lock lock(mutex_);
    const auto ready = [&] { return closed_ || *next < first_ + window_.size(); };
    if (!changed_.wait_for(lock, idle, ready)) return Wait::Idle;
    if (closed_) return Wait::Closed;
    if (*next < first_) return Wait::Behind;
    *event = window_[*next - first_];
    ++*next;
    return Wait::Event;
}

void StationEvents::Close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

int StationEvents::Clients() const {
    std::lock_guard lock(mutex_);
    return clients_;
}
