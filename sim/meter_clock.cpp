#include "sim/meter_clock.h"

#include <cstdio>

#include "link/local_time.h"

namespace {

constexpr int kFirstYear = 2000;
constexpr int kLastYear = 2099;
constexpr int64_t kSecondsPerDay = 86400;

const int64_t kEpochDays = DaysFromCivil(kFirstYear, 1, 1);

}  // namespace

bool operator==(const MeterTime& a, const MeterTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second;
}

bool IsValidMeterTime(const MeterTime& t) {
    if (t.year < kFirstYear || t.year > kLastYear || t.month < 1 || t.month > 12) return false;
    if (t.day < 1 || t.day > DaysInMonth(t.year, t.month)) return false;
    return t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 && t.second >= 0 &&
           t.second < 60;
}

bool ParseMeterTime(const std::string& text, MeterTime* time) {
    MeterTime t;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d%c", &t.year, &t.month, &t.day, &t.hour,
                    &t.minute, &t.second, &tail) != 6)
        return false;
    if (!IsValidMeterTime(t)) return false;
    *time = t;
    return true;
}

MeterTime LocalMeterTime(std::time_t when) {
    const std::tm local = LocalTime(when);
    MeterTime t{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                local.tm_hour,        local.tm_min,     local.tm_sec};
    if (!IsValidMeterTime(t)) t = MeterTime{};  // a computer clock outside the meter's century
    return t;
}

int64_t MeterSeconds(const MeterTime& t) {
    const int64_t days = DaysFromCivil(t.year, t.month, t.day) - kEpochDays;
    return days * kSecondsPerDay + t.hour * 3600 + t.minute * 60 + t.second;
}

MeterTime FromMeterSeconds(int64_t seconds) {
    int64_t days = seconds / kSecondsPerDay;
    int64_t rest = seconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    MeterTime t;
    CivilFromDays(days + kEpochDays, &t.year, &t.month, &t.day);
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    return t;
}

MeterClock::MeterClock(const MeterTime& start, int64_t startUptimeMs)
    : baseMs_(MeterSeconds(start) * 1000 - startUptimeMs) {}

MeterTime MeterClock::Now(int64_t uptimeMs) const {
    return FromMeterSeconds((baseMs_ + uptimeMs) / 1000);
}

bool MeterClock::Set(const MeterTime& time, int64_t uptimeMs) {
    if (!IsValidMeterTime(time)) return false;
    baseMs_ = MeterSeconds(time) * 1000 - uptimeMs;
    return true;
}
