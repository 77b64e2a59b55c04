#pragma once
// Tests wait for what they expect, bounded, instead of sleeping a guessed time.

#include <cstdint>

#include "link/link_timing.h"

// Polls condition every stepMs until it holds (true) or timeoutMs has passed (false).
template <typename Condition>
bool WaitUntil(Condition condition, int timeoutMs, int stepMs = 5) {
    const int64_t deadline = NowMs() + timeoutMs;
    while (!condition()) {
        if (NowMs() >= deadline) return false;
        SleepMs(stepMs);
    }
    return true;
}
