#pragma once
// Calendar times for tests, written as people write them.

#include <ctime>

// A broken-down local time; the fields the program reads, nothing normalised.
inline std::tm CalendarTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}
