#pragma once
// The one colour of each measured quantity, shared by the main plot, the long-term viewers
// and the waterfall's companions, so a trace reads the same everywhere. Pure data; any thread.

#include <cstdint>
#include <string_view>

struct TraceColour {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    bool operator==(const TraceColour&) const = default;
};

inline constexpr TraceColour kXTraceColour{255, 0, 0};
inline constexpr TraceColour kYTraceColour{0, 0, 255};
inline constexpr TraceColour kZTraceColour{50, 150, 50};
inline constexpr TraceColour kEmfTraceColour{0, 0, 0};
inline constexpr TraceColour kEfTraceColour{165, 42, 42};
inline constexpr TraceColour kRfTraceColour{0, 140, 140};
inline constexpr TraceColour kSpectrumTraceColour{0, 0, 250};

// The colour of a recorded column ("x_mg", "emf_mg", "ef_vm", "rf_pw_cm2", …); EMF's for a
// column it does not know.
constexpr TraceColour TraceColourOfColumn(std::string_view column) {
    if (column == "x_mg") return kXTraceColour;
    if (column == "y_mg") return kYTraceColour;
    if (column == "z_mg") return kZTraceColour;
    if (column == "ef_vm") return kEfTraceColour;
    if (column == "rf_pw_cm2") return kRfTraceColour;
    return kEmfTraceColour;
}
