#pragma once
// One ferrolog-cli job run in the test's process against an in-process meter on COM1, through
// the program's own dispatch and on the meter's virtual clock: what the program would print,
// without a process or a real wait. Captures the process's standard output and error for the
// call, so one such job runs at a time.

#include <string>
#include <vector>

#include "tests/support/meter_process.h"
#include "tests/support/simulated_meter.h"

// words are the program's command line after "--device PATH" (options, job and its words);
// a command line the program would refuse gives exit status 2 and its message.
ProgramResult RunCliInProcess(InProcessMeter& meter, const std::vector<std::string>& words);
