#include "cli/cli_numbers.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

struct DurationUnit {
    const char* suffix;
    double ms;
};
constexpr DurationUnit kDurationUnits[] = {
    {"", 1000.0}, {"ms", 1.0}, {"s", 1000.0}, {"m", 60e3}, {"h", 3600e3}, {"d", 86400e3},
};

// strtod also reads "nan", "inf" and hexadecimal; only plain decimals are numbers here.
bool LooksDecimal(const std::string& text) {
    for (char c : text)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return false;
    return true;
}

bool ParseLeadingReal(const std::string& text, double* value, std::string* rest) {
    if (text.empty()) return false;
    const char* start = text.c_str();
    char* end = nullptr;
    errno = 0;
    *value = std::strtod(start, &end);
    if (end == start || errno == ERANGE || !std::isfinite(*value)) return false;
    *rest = end;
    return LooksDecimal(text.substr(0, static_cast<size_t>(end - start)));
}

}  // namespace

bool ParseInteger(const std::string& text, int64_t low, int64_t high, int64_t* value) {
    if (text.empty() || text.find_first_of(" \t\n") != std::string::npos) return false;
    char* end = nullptr;
    errno = 0;
    const long long n = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || n < low || n > high) return false;
    *value = n;
    return true;
}

bool ParseReal(const std::string& text, double low, double high, double* value) {
    std::string rest;
    return ParseLeadingReal(text, value, &rest) && rest.empty() && *value >= low && *value <= high;
}

bool ParseDuration(const std::string& text, int64_t lowMs, int64_t highMs, int64_t* ms) {
    double value = 0;
    std::string unit;
    if (!ParseLeadingReal(text, &value, &unit)) return false;
    for (const DurationUnit& u : kDurationUnits) {
        if (unit != u.suffix) continue;
        const double total = std::floor(value * u.ms);
        if (!(total >= static_cast<double>(lowMs) && total <= static_cast<double>(highMs)))
            return false;
        *ms = static_cast<int64_t>(total);
        return true;
    }
    return false;
}
