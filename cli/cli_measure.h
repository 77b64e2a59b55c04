#pragma once
// The measurement jobs: emf, spectrum (and plot, with the window's painter).

#include "cli/cli_context.h"

int RunEmf(const CliOptions& options);
int RunSpectrum(const CliOptions& options);
int RunPlot(const CliOptions& options);
