#pragma once
// The screen jobs: a screenshot stored in the meter, or the meter's live screen, written as a
// 512 × 256 bitmap file. The program's messages go to stderr, the written file's path to
// stdout; the exit status is 0 only when the file was written.

#include "cli/cli_context.h"

// "screenshot SLOT [FILE]": SLOT 1 to 4; FILE defaults to the meter's name for the
// screenshot, in the current folder. ".bmp" is added as the window adds it.
int RunScreenshot(const CliOptions& options, MeterLink& link);

// "screen FILE": fetches one live frame ("<GETSCREEN>>", as the mirror does) and saves it as
// File › Save Screen saves the mirrored one.
int RunScreen(const CliOptions& options, MeterLink& link);
