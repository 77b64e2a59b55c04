#pragma once
// Numbers from the command line, read whole and range-checked: a word that is not entirely a
// number in range is refused, never wrapped, saturated or taken in part.

#include <cstdint>
#include <string>

// A decimal integer in [low, high].
bool ParseInteger(const std::string& text, int64_t low, int64_t high, int64_t* value);

// An interval: "1s", "1.5s", "500ms" or plain milliseconds; finite, from 1 ms up to a day.
bool ParseInterval(const std::string& text, int* ms);

// A decimal number, finite, in [low, high].
bool ParseReal(const std::string& text, double low, double high, double* value);
