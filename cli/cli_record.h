#pragma once
// The record job: field readings or RF sweeps, continuously, to a file or standard output.

#include "cli/cli_context.h"

int RunRecord(const CliOptions& options, MeterLink& link);
