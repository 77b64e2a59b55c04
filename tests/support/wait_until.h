#pragma once
// Tests wait for what they expect, bounded, instead of sleeping a guessed time.

#include <cstdint>

#include "link/link_timing.h"

// Calls pause() between checks of condition until it holds (true) or timeoutMs has passed
// (false); a window test's pause lets the user-interface thread run.
template <typename Condition, typename Pause>
bool WaitUntilWith(Condition condition, Pause pause, int timeoutMs) {
    const int64_t deadline = NowMs() + timeoutMs;
    while (!condition()) {
        if (NowMs() >= deadline) return false;
        pause();
    }
    return true;
}

// Polls condition every stepMs until it holds (true) or timeoutMs has passed (false).
template <typename Condition>
bool WaitUntil(Condition condition, int timeoutMs, int stepMs = 5) {
    return WaitUntilWith(
        condition, [stepMs] { SleepMs(stepMs); }, timeoutMs);
}
