// The calendar from POSIX's thread-safe conversions.

#include "link/local_time.h"

std::tm LocalTime(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return local;
}

std::tm UtcTime(std::time_t when) {
    std::tm fields{};
    gmtime_r(&when, &fields);
    return fields;
}
