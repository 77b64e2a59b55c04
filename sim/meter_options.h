#pragma once
// The virtual meter's command line.

#include <optional>
#include <string>
#include <vector>

#include "sim/fault_plan.h"
#include "sim/virtual_meter.h"

struct MeterOptions {
    MeterSetup setup;
    std::optional<MeterTime> clock;  // unset: the computer's local time
    std::vector<FaultRule> faults;
    bool fast = false;
    int latencyMs = -1;  // -1: each command's own processing time
    std::string logPath;
    bool logTimes = false;
    std::string linkPath;
    int unplugAfter = 0;     // 0: never
    int replugAfterMs = -1;  // -1: an unplugged meter stays away
    bool verbose = false;
    bool help = false;
    bool version = false;
};

// Parses the arguments after the program name; false with the reason when they are wrong.
bool ParseMeterOptions(const std::vector<std::string>& args, MeterOptions* options,
                       std::string* error);

std::string MeterUsage();
