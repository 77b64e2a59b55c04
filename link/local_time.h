#pragma once
// Local time and the calendar, for every caller: the computer's zone (through the C library's
// zone rules) and the proleptic Gregorian calendar the meter's clock and the files use.

#include <cstdint>
#include <ctime>
#include <string>

// The computer's local calendar time at `when` (all fields zero when the system cannot tell).
// LocalTime and UtcTime are each system's own: local_time_posix.cpp, local_time_win32.cpp.
std::tm LocalTime(std::time_t when);
std::tm CurrentLocalTime();

// The UTC calendar time at `when`: also how a time kept "as written" (a wall-clock time stored
// as if it were UTC) is taken apart.
std::tm UtcTime(std::time_t when);

// Seconds east of UTC of the local zone at `when`.
long LocalOffsetSeconds(std::time_t when);

// The moment a local calendar time names; the zone decides daylight saving. False when the C
// library cannot place it.
bool FromLocalTime(std::tm fields, std::time_t* when);

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);  // month 1..12
// Days from 1970-01-01 to a civil date, and back.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day);
void CivilFromDays(int64_t days, int* year, int* month, int* day);

// "2026-12-08T10:15:03+01:00" for the local time zone.
std::string IsoLocalTime(int64_t time);

// Reads IsoLocalTime's form (any offset, or "Z"; a space may stand for the "T") back to
// seconds since the epoch. An impossible day, hour or zone, or anything behind the zone (a
// NUL included), is refused.
bool ParseIsoTime(const std::string& text, int64_t* time);

// What a person types for a moment: ParseIsoTime's forms, or a local time without an offset,
// "2026-12-08 10:15:00", "2026-12-08T10:15" or "2026-12-08".
bool ParseUserTime(const std::string& text, int64_t* time);
