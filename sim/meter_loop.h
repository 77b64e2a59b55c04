#pragma once
// Runs the virtual meter on its pseudo-terminal in real time: bytes in are cut into frames,
// acted on (or spoiled by the fault plan) and answered through the paced transmitter.

#include <csignal>
#include <cstdio>
#include <string>

#include "sim/fault_plan.h"
#include "sim/pseudo_terminal.h"
#include "sim/virtual_meter.h"

struct LoopSettings {
    bool paced = true;              // false: no processing time, no line pacing
    int latencyMs = -1;             // one processing time for every reply; -1: each its own
    std::FILE* frameLog = nullptr;  // one line of hex per frame received
    std::FILE* timesLog = nullptr;  // one line per frame: first to last byte, ms
    int unplugAfter = 0;            // frames until the cable is pulled; 0: never
    bool verbose = false;           // describe frames and replies on stderr
    int64_t startUptimeMs = 0;      // the meter's uptime when the loop starts
};

enum class LoopEnd { Stopped, Unplugged, LineFailed };

// Runs until stop becomes non-zero (set from a signal handler), the cable is pulled or the
// line fails.
LoopEnd RunMeterLoop(VirtualMeter& meter, FaultPlan& faults, PseudoTerminal& line,
                     const LoopSettings& settings, const volatile std::sig_atomic_t& stop);
