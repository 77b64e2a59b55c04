#include "link/number_text.h"

#include <charconv>
#include <cmath>
#include <system_error>
#include <utility>

namespace {

// from_chars takes a minus sign only; a plus is dropped unless another sign follows it.
std::string_view WithoutPlus(std::string_view text) {
    if (text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+')
        text.remove_prefix(1);
    return text;
}

bool IsDigitOrPoint(char c) {
    return (c >= '0' && c <= '9') || c == '.';
}

template <typename Real>
std::optional<std::pair<Real, std::size_t>> ReadLeading(std::string_view text) {
    const std::string_view number = WithoutPlus(text);
    const std::size_t signs = number.empty() || number[0] != '-' ? 0 : 1;
    // Only a digit or a point may start the number: this keeps out "nan", "inf" and "infinity".
    if (number.size() <= signs || !IsDigitOrPoint(number[signs])) return std::nullopt;
    Real value = 0;
    const auto [stop, error] = std::from_chars(number.data(), number.data() + number.size(), value,
                                               std::chars_format::general);
    if (error != std::errc() || !std::isfinite(value)) return std::nullopt;
    return std::pair{value, static_cast<std::size_t>(stop - text.data())};
}

template <typename Real>
std::optional<Real> ReadWhole(std::string_view text, Real low, Real high) {
    const auto number = ReadLeading<Real>(text);
    if (!number || number->second != text.size() || !(number->first >= low) ||
        !(number->first <= high))
        return std::nullopt;
    return number->first;
}

}  // namespace

std::optional<int64_t> ParseWholeInteger(std::string_view text, int64_t low, int64_t high,
                                         int base) {
    const std::string_view digits = WithoutPlus(text);
    int64_t value = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value, base);
    if (digits.empty() || error != std::errc() || stop != end || value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<LeadingDecimal> ParseLeadingDecimal(std::string_view text) {
    const auto number = ReadLeading<double>(text);
    if (!number) return std::nullopt;
    return LeadingDecimal{number->first, number->second};
}

std::optional<double> ParseWholeDecimal(std::string_view text, double low, double high) {
    return ReadWhole(text, low, high);
}

std::optional<float> ParseWholeFloat(std::string_view text, float low, float high) {
    return ReadWhole(text, low, high);
}
