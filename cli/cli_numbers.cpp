#include "cli/cli_numbers.h"

#include <cmath>

#include "link/number_text.h"

namespace {

struct DurationUnit {
    const char* suffix;
    double ms;
};
constexpr DurationUnit kDurationUnits[] = {
    {"", 1000.0}, {"ms", 1.0}, {"s", 1000.0}, {"m", 60e3}, {"h", 3600e3}, {"d", 86400e3},
};

}  // namespace

bool ParseInteger(const std::string& text, int64_t low, int64_t high, int64_t* value) {
    const std::optional<int64_t> n = ParseWholeInteger(text, low, high);
    if (n) *value = *n;
    return n.has_value();
}

bool ParseReal(const std::string& text, double low, double high, double* value) {
    const std::optional<double> x = ParseWholeDecimal(text, low, high);
    if (x) *value = *x;
    return x.has_value();
}

bool ParseDuration(const std::string& text, int64_t lowMs, int64_t highMs, int64_t* ms) {
    const std::optional<LeadingDecimal> number = ParseLeadingDecimal(text);
    if (!number) return false;
    const std::string_view unit = std::string_view(text).substr(number->length);
    for (const DurationUnit& u : kDurationUnits) {
        if (unit != u.suffix) continue;
        const double total = std::floor(number->value * u.ms);
        if (!(total >= static_cast<double>(lowMs) && total <= static_cast<double>(highMs)))
            return false;
        *ms = static_cast<int64_t>(total);
        return true;
    }
    return false;
}
