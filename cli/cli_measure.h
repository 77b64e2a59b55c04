#pragma once
// The measurement jobs: emf, spectrum (and plot, with the window's painter).

#include "cli/cli_context.h"
#include "measure/measurement.h"

int RunEmf(const CliOptions& options);
int RunSpectrum(const CliOptions& options);
int RunPlot(const CliOptions& options);

// A spectrum reply has no trailer: the fetch's beforeSweep hook marks the buffer, and a sweep
// whose last bytes still hold the mark was never answered in full.
void MarkSweepUnanswered(MeasurementBytes& bytes);
bool SweepAnswered(const MeasurementBytes& bytes);
