#pragma once
// The texts that show the program's version, built at compile time from kFerrologVersion so
// the version is declared once (CMake's project VERSION).

#include <array>
#include <string_view>

#include "version.h"

namespace version_texts {

// prefix + kFerrologVersion + suffix as a NUL-terminated array.
template <size_t PrefixLength, size_t SuffixLength>
constexpr auto Compose(const char (&prefix)[PrefixLength], const char (&suffix)[SuffixLength]) {
    constexpr std::string_view version = kFerrologVersion;
    std::array<char, PrefixLength + version.size() + SuffixLength - 1> text{};
    size_t at = 0;
    for (size_t i = 0; i + 1 < PrefixLength; ++i)
        text[at++] = prefix[i];
    for (char c : version)
        text[at++] = c;
    for (size_t i = 0; i + 1 < SuffixLength; ++i)
        text[at++] = suffix[i];
    return text;
}

inline constexpr auto kAbout = Compose("Ferrolog Version ", "");
inline constexpr auto kBanner = Compose("(V", ")");

}  // namespace version_texts

// The About box's "Ferrolog Version 3.67" and the banner's "(V3.67)".
inline constexpr const char* kAboutVersionText = version_texts::kAbout.data();
inline constexpr const char* kBannerVersionText = version_texts::kBanner.data();
