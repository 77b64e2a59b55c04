#pragma once
// Hand-over of the one serial port between the user-interface thread and the workers.
//
// PortFree is true while no exchange owns the port; taking it is one compare-and-swap.
// StopScreenPoll asks a waiting screen worker to give the port back at once and keeps the
// scheduler from starting another. LinkSuspended keeps the scheduler from starting screen
// workers while the clock sync or the terminal talks to the meter, or the window closes.

#include <atomic>

extern std::atomic<bool> PortFree;
extern std::atomic<bool> StopScreenPoll;
extern std::atomic<bool> LinkSuspended;
// Set when the meter's device hung up (unplugged, EIO, ENXIO): the port has been closed and
// DeviceConnected is false until the same device answers again (ReidentifyLostMeter).
extern std::atomic<bool> LinkLost;

// Takes the port if it is free; never waits.
bool TryTakePort();

// Waits (1 ms polls) until the port is free and takes it. Used by the fetches.
void WaitAndTakePort();
