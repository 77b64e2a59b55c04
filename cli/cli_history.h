#pragma once
// The history jobs: the meter's logged history downloaded into a CSV table and a binary dump,
// and a saved dump turned into the CSV table again without a meter.

#include "cli/cli_context.h"

// "history FILE": FILE stands for the path chosen in the window's Save dialog, so the outputs
// are FILE.bin and FILE (without any ".csv") + ".csv", written whole from the downloaded memory
// once the download ends: both or neither, the system's reason said when they cannot be.
// Progress goes to stderr (a bar on a terminal, else a line per 10 %). Files already there are
// refused unless --force is given. Ctrl+C acts as Stop/Save: what has arrived is written, the
// message says the download was stopped, and the exit status is 130. Exit status 0 once both
// files are written of a download that ran to the log's end.
int RunHistory(const CliOptions& options, MeterLink& link);

// "history-csv DUMP OUT [--iso-dates]": decodes a dump written by "history" (or by the window)
// into OUT, exactly as the download writes its CSV (dates as 2026-12-07 01:30:00 with
// --iso-dates). Only a regular file of at most 1 MiB and a block is read; a dump with a time
// stamp that names no possible time is refused. Exit status 0 when OUT was written whole.
int RunHistoryCsv(const CliOptions& options, MeterLink&);
