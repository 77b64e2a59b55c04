#pragma once
// One ferrolog-cli job run in the test's process, through the program's own dispatch, on a link
// of the test's (an in-process meter on COM1 on its virtual clock, say): what the program would
// print, without a process or a real wait. Captures the process's standard output and error for the
// call, so one such job runs at a time, and gives back the signals a job took over.

#include <string>
#include <vector>

#include "tests/support/meter_process.h"

class MeterLink;
struct InProcessMeter;  // tests/support/simulated_meter.h

// args are the program's command line after its name (options, job and its words), run on
// link; a command line the program would refuse gives exit status 2 and its message.
ProgramResult RunCliInProcess(MeterLink& link, const std::vector<std::string>& args);

// The same with the meter on COM1: words come after "--device PATH".
ProgramResult RunCliInProcess(InProcessMeter& meter, const std::vector<std::string>& words);

// The same on a fresh in-process meter started with meterArgs (ferrolog-meter's), for a test
// that cannot include the virtual meter's headers next to the core's; a meter that refuses its
// arguments gives exit status 2 and its message.
ProgramResult RunCliOnInProcessMeter(const std::vector<std::string>& meterArgs,
                                     const std::vector<std::string>& words);
