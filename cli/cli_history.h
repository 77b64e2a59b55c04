#pragma once
// The history jobs: the meter's logged history downloaded into a CSV table and a binary dump,
// and a saved dump turned into the CSV table again without a meter.

#include "cli/cli_context.h"

// "history FILE": FILE stands for the path chosen in the window's Save dialog, so the outputs
// are FILE.bin and FILE (without any ".csv") + ".csv". A progress bar runs on stderr; Ctrl+C
// acts as Stop/Save and keeps what has arrived. Exit status 0 once "Download Finished".
int RunHistory(const CliOptions& options);

// "history-csv DUMP OUT": decodes a dump written by "history" (or by the window) into OUT,
// exactly as the download writes its CSV. Exit status 0 when OUT was written.
int RunHistoryCsv(const CliOptions& options);
