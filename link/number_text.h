#pragma once
// The one reader of numbers in text: options, table cells, the meter's identification. Plain
// decimal numbers only (no blanks, no "nan", "inf" or hexadecimal), the same in every locale;
// a number out of range, cut short or followed by anything else gives no value, never a
// wrapped, saturated or partly read one. A single leading '+' is allowed, as a sign.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <type_traits>

// The whole text as an integer in [low, high]; base 16 reads hexadecimal digits without "0x".
std::optional<int64_t> ParseWholeInteger(std::string_view text, int64_t low, int64_t high,
                                         int base = 10);

// The whole text as a finite decimal number ("30", "-1.5", "2e3", ".5") in [low, high].
std::optional<double> ParseWholeDecimal(std::string_view text, double low, double high);
// The same read straight to the nearest float, so a float's shortest text reads back as it.
std::optional<float> ParseWholeFloat(std::string_view text, float low, float high);

// The longest finite decimal number at the start of the text, and how many characters it
// takes, for a number followed by a unit or other text ("500ms", "1.25x").
struct LeadingDecimal {
    double value;
    std::size_t length;
};
std::optional<LeadingDecimal> ParseLeadingDecimal(std::string_view text);

// The whole text as a Number (a float, a double or an integer type up to int64_t), anywhere
// in the range of its type.
template <typename Number>
std::optional<Number> ParseWholeNumber(std::string_view text) {
    using Limits = std::numeric_limits<Number>;
    if constexpr (std::is_same_v<Number, float>) {
        return ParseWholeFloat(text, Limits::lowest(), Limits::max());
    } else if constexpr (std::is_same_v<Number, double>) {
        return ParseWholeDecimal(text, Limits::lowest(), Limits::max());
    } else {
        static_assert(std::is_integral_v<Number> && Limits::max() <= INT64_MAX);
        const std::optional<int64_t> n = ParseWholeInteger(text, Limits::min(), Limits::max());
        if (!n) return std::nullopt;
        return static_cast<Number>(*n);
    }
}
