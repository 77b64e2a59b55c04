#include "link/link_flags.h"

#include "link/link_timing.h"

std::atomic<bool> PortFree{true};
std::atomic<bool> StopScreenPoll{false};
std::atomic<bool> LinkSuspended{false};
std::atomic<bool> LinkLost{false};

bool TryTakePort() {
    bool expected = true;
    return PortFree.compare_exchange_strong(expected, false);
}

void WaitAndTakePort() {
    while (!TryTakePort())
        SleepMs(1);
}
