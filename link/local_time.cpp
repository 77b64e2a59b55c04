#include "link/local_time.h"

#include <cstdio>
#include <string_view>

std::tm CurrentLocalTime() {
    return LocalTime(std::time(nullptr));
}

// The local calendar time read as if it were UTC, less the moment itself: every system's
// C library gives the calendar, not all of them the offset.
long LocalOffsetSeconds(std::time_t when) {
    const std::tm local = LocalTime(when);
    const int64_t asUtc =
        DaysFromCivil(local.tm_year + 1900LL, local.tm_mon + 1LL, local.tm_mday) * 86400 +
        local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    return static_cast<long>(asUtc - static_cast<int64_t>(when));
}

bool FromLocalTime(std::tm fields, std::time_t* when) {
    fields.tm_isdst = -1;
    const std::time_t local = std::mktime(&fields);
    if (local == static_cast<std::time_t>(-1)) return false;
    *when = local;
    return true;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int* year, int* month, int* day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    *day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    *month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2));
}

std::string IsoLocalTime(int64_t time) {
    const std::tm local = LocalTime(static_cast<std::time_t>(time));
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    const long offsetMinutes = LocalOffsetSeconds(static_cast<std::time_t>(time)) / 60;
    const long magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char zone[32];
    std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", offsetMinutes < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return std::string(text) + zone;
}

namespace {

bool ReadDigits(const char* text, int count, int* value) {
    *value = 0;
    for (int i = 0; i < count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        *value = *value * 10 + (text[i] - '0');
    }
    return true;
}

// POSIX zones reach 24 hours either side of UTC.
constexpr int kFarthestZoneHours = 24;

// The offset after the seconds: "Z", "+01:00" or "-0530"; in seconds east of UTC.
bool ParseZone(std::string_view zone, long* seconds) {
    if (zone == "Z") {
        *seconds = 0;
        return true;
    }
    const bool colon = zone.size() == 6 && zone[3] == ':';
    if ((zone.size() != 5 && !colon) || (zone[0] != '+' && zone[0] != '-')) return false;
    int hours = 0;
    int minutes = 0;
    if (!ReadDigits(zone.data() + 1, 2, &hours) ||
        !ReadDigits(zone.data() + (colon ? 4 : 3), 2, &minutes) || hours > kFarthestZoneHours ||
        minutes > 59)
        return false;
    *seconds = (hours * 60L + minutes) * 60L * (zone[0] == '-' ? -1 : 1);
    return true;
}

}  // namespace

bool ParseIsoTime(const std::string& text, int64_t* time) {
    // YYYY-MM-DDTHH:MM:SS then the zone
    if (text.size() < 20) return false;
    const char* s = text.c_str();
    std::tm fields{};
    int year = 0;
    if (!ReadDigits(s, 4, &year) || s[4] != '-' || !ReadDigits(s + 5, 2, &fields.tm_mon) ||
        s[7] != '-' || !ReadDigits(s + 8, 2, &fields.tm_mday) || (s[10] != 'T' && s[10] != ' ') ||
        !ReadDigits(s + 11, 2, &fields.tm_hour) || s[13] != ':' ||
        !ReadDigits(s + 14, 2, &fields.tm_min) || s[16] != ':' ||
        !ReadDigits(s + 17, 2, &fields.tm_sec))
        return false;
    long zone = 0;
    // The whole rest is the zone, so nothing may hide behind a NUL in it.
    if (!ParseZone(std::string_view(text).substr(19), &zone)) return false;
    if (fields.tm_mon < 1 || fields.tm_mon > 12 || fields.tm_mday < 1 ||
        fields.tm_mday > DaysInMonth(year, fields.tm_mon) || fields.tm_hour > 23 ||
        fields.tm_min > 59 || fields.tm_sec > 60)
        return false;
    *time = DaysFromCivil(year, fields.tm_mon, fields.tm_mday) * 86400 + fields.tm_hour * 3600 +
            fields.tm_min * 60 + fields.tm_sec - zone;
    return true;
}

bool ParseUserTime(const std::string& text, int64_t* time) {
    if (ParseIsoTime(text, time)) return true;
    // Completed to seconds, read in the local time zone.
    std::string full = text;
    if (full.size() == 10) full += " 00:00:00";
    if (full.size() == 16) full += ":00";
    int64_t asUtc = 0;
    if (full.size() != 19 || !ParseIsoTime(full + "Z", &asUtc)) return false;
    std::time_t local = 0;
    if (!FromLocalTime(UtcTime(static_cast<std::time_t>(asUtc)), &local)) return false;
    *time = static_cast<int64_t>(local);
    return true;
}
