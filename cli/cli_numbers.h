#pragma once
// Numbers from the command line, read whole and range-checked by the core's number reader
// (link/number_text.h): a word that is not entirely a number in range is refused, never
// wrapped, saturated or taken in part.

#include <cstdint>
#include <string>

// A decimal integer in [low, high].
bool ParseInteger(const std::string& text, int64_t low, int64_t high, int64_t* value);

// A duration, the one rule of every option that takes one: a decimal number of seconds
// ("30", "1.5") or one with a unit ("500ms", "30s", "15m", "8h", "7d"); finite, rounded down
// to whole milliseconds, in [lowMs, highMs].
bool ParseDuration(const std::string& text, int64_t lowMs, int64_t highMs, int64_t* ms);

// A decimal number, finite, in [low, high].
bool ParseReal(const std::string& text, double low, double high, double* value);
