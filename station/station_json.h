#pragma once
// The JSON documents of the station's API, built from the station's copies: the meter list, a
// reading, the rows kept, a sweep, and the error every failed request carries. Times are
// ISO 8601 in the local zone with its offset; readings keep the meter's own float values.

#include <string>
#include <string_view>
#include <vector>

#include "station/station.h"

// `text` as a quoted JSON string. Quotes, backslashes and control characters are escaped;
// bytes beyond ASCII become '?', so the document is valid whatever a device path holds.
std::string StationJsonString(std::string_view text);
// The shortest text that reads back as the same float; null when not finite.
std::string StationJsonNumber(float value);

// [{"name", "model", "firmware", "port", "up", "has_spectrum", "last_reading_time"}, ...];
// model, firmware and last_reading_time are null while unknown.
std::string MeterListJson(const std::vector<MeterSnapshot>& meters);
// {"meter", "time", "x_mg", "y_mg", "z_mg", "emf_mg", "ef_vm"}
std::string ReadingJson(const std::string& meter, const FieldRow& row);
// {"meter", "rows": [{"time", "x_mg", ...}, ...]}, oldest first.
std::string RowsJson(const std::string& meter, const std::vector<FieldRow>& rows);
// {"meter", "time", "start_hz", "spacing_hz", "dbm": [128 levels]}
std::string SpectrumJson(const std::string& meter, const StationSpectrum& sweep);
// {"meter"}: what an event carries.
std::string EventJson(const std::string& meter);
// {"error": message}
std::string ErrorJson(std::string_view message);
