// The calendar from the Windows C library's thread-safe conversions.

#include "link/local_time.h"

std::tm LocalTime(std::time_t when) {
    std::tm local{};
    if (localtime_s(&local, &when) != 0) local = std::tm{};
    return local;
}

std::tm UtcTime(std::time_t when) {
    std::tm fields{};
    if (gmtime_s(&fields, &when) != 0) fields = std::tm{};
    return fields;
}
