#pragma once
// The station's metrics in Prometheus' text exposition format (version 0.0.4): base units, one
// series per meter label, and no value where a meter has no fresh reading (a stale one would
// be drawn as if it were current).

#include <string>
#include <vector>

#include "station/station.h"

inline constexpr const char* kMetricsContentType = "text/plain; version=0.0.4; charset=utf-8";

// `text` as a label value: backslash, double quote and line feed escaped.
std::string PrometheusLabelValue(const std::string& text);

// Every family with its HELP and TYPE lines, the meters in the order given.
std::string StationMetricsText(const std::vector<MeterSnapshot>& meters);
