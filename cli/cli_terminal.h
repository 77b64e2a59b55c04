#pragma once
// The clock and terminal jobs of ferrolog-cli.

#include "cli/cli_context.h"

// sync-time: finds the meter (--com N or a scan) and sets its clock to the computer's local
// time. Says "Time Synced Successfully!" on stderr and returns 0, or "Time Sync Failed! " and
// 1; with --json prints {"synced":true|false} on stdout.
int RunSyncTime(const CliOptions& options, MeterLink& link);

// terminal: reads lines "NAME [HEX PAIRS]" or "NAME --text TEXT" from stdin and sends each as
// one frame, printing its read-out; everything the meter sends is printed as it arrives, in
// hexadecimal and as characters, on stdout; the port settings and refusals go to stderr.
// "quit" or the end of input leaves. Returns 0, or 1 when the port cannot be opened.
int RunTerminal(const CliOptions& options, MeterLink& link);
