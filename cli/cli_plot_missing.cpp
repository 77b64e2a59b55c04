// Built without the window: plot has no painter to draw with.

#include <cstdio>

#include "cli/cli_measure.h"

int RunPlot(const CliOptions&) {
    std::fprintf(stderr, "ferrolog-cli: plot needs the window's painters; this build has none\n");
    return 1;
}
