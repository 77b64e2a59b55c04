#include "cli/cli_numbers.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

constexpr double kLongestIntervalMs = 24.0 * 60 * 60 * 1000;
constexpr double kMsPerSecond = 1000.0;

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

bool ParseInterval(const std::string& text, int* ms) {
    double value = 0;
    std::string unit;
    if (!ParseLeadingReal(text, &value, &unit)) return false;
    if (unit == "s")
        value *= kMsPerSecond;
    else if (unit != "ms" && !unit.empty())
        return false;
    if (!(value >= 1.0 && value <= kLongestIntervalMs)) return false;
    *ms = static_cast<int>(value);
    return true;
}
