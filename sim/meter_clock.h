#pragma once
// The meter's real-time clock. It keeps a calendar time of its own, with no time zone and no
// daylight saving, that runs on from whatever it was last set to.

#include <cstdint>
#include <ctime>
#include <string>

struct MeterTime {
    int year = 2000;  // full year, 2000..2099
    int month = 1;    // 1..12
    int day = 1;      // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

bool operator==(const MeterTime& a, const MeterTime& b);

// True when the fields name a real calendar second between 2000 and 2099.
bool IsValidMeterTime(const MeterTime& time);

// "2026-12-31 23:59:59" to a time; false when the text is not of that form or not a valid time.
bool ParseMeterTime(const std::string& text, MeterTime* time);

// The computer's local time at that instant, as the meter would be set from it.
MeterTime LocalMeterTime(std::time_t when);

// Seconds since 2000-01-01 00:00:00 on the meter's calendar, and back.
int64_t MeterSeconds(const MeterTime& time);
MeterTime FromMeterSeconds(int64_t seconds);

class MeterClock {
  public:
    // The clock reads `start` at uptime startUptimeMs.
    MeterClock(const MeterTime& start, int64_t startUptimeMs);

    MeterTime Now(int64_t uptimeMs) const;

    // Sets the clock to `time` at this uptime; false (clock unchanged) for an invalid time.
    bool Set(const MeterTime& time, int64_t uptimeMs);

  private:
    int64_t baseMs_;  // meter milliseconds (since 2000) at uptime 0
};
