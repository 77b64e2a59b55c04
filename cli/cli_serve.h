#pragma once
// The serve job: a monitoring station for one meter or several, on the web, in Prometheus and
// over MQTT, until Ctrl+C or SIGTERM.

#include "cli/cli_context.h"

int RunServe(const CliOptions& options, MeterLink& link);
