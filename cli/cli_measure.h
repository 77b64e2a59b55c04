#pragma once
// The measurement jobs: emf, spectrum (and plot, with the window's painter).

#include "cli/cli_context.h"
#include "measure/measurement.h"

int RunEmf(const CliOptions& options, MeterLink& link);
int RunSpectrum(const CliOptions& options, MeterLink& link);
int RunPlot(const CliOptions& options, MeterLink& link);

// A spectrum reply has no trailer: the fetch's beforeSweep hook marks the buffer, and a sweep
// whose last bytes still hold the mark was never answered in full.
void MarkSweepUnanswered(MeasurementBytes& bytes);
bool SweepAnswered(const MeasurementBytes& bytes);
