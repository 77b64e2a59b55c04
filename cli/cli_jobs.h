#pragma once
// The table of ferrolog-cli's jobs: the one dispatch the program and the tests run a job through.

#include <cstdio>

#include "cli/cli_context.h"

// Runs the job options name on link, as the program does after its command line is read:
// refuses (kExitUsage) an unknown job and --json for a job without JSON output. Leaves the port
// and standard output as the job left them.
int RunCliJob(const CliOptions& options, MeterLink& link);

// The program's usage text with a line per job.
void PrintCliUsage(std::FILE* out);
