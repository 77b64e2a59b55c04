#include "record/recording_file.h"

#include <charconv>
#include <string_view>

std::string FormatDecimal(float value) {
    constexpr int kDecimals = 3;  // the meter's resolution
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, kDecimals);
    std::string decimal(text, result.ptr);
    // A value that rounds to nothing is "0.000", never "-0.000".
    if (decimal.find_first_not_of("-0.") == std::string::npos && decimal[0] == '-')
        decimal.erase(0, 1);
    return decimal;
}

std::string FieldCsvLine(const FieldRow& row) {
    return IsoLocalTime(row.time) + ',' + FormatDecimal(row.xMg) + ',' + FormatDecimal(row.yMg) +
           ',' + FormatDecimal(row.zMg) + ',' + FormatDecimal(row.emfMg) + ',' +
           FormatDecimal(row.efVm) + '\n';
}

std::string SpectrumCsvHeader(const SpectrumRow& row) {
    std::string line = "time";
    for (uint32_t hz : row.frequencyHz)
        line +=
            std::string(",") + kSpectrumColumnPrefix + std::to_string(hz) + kSpectrumColumnSuffix;
    return line + '\n';
}

std::string SpectrumCsvLine(const SpectrumRow& row) {
    std::string line = IsoLocalTime(row.time);
    for (int8_t level : row.dbm)
        line += ',' + std::to_string(level);
    return line + '\n';
}

bool SameBins(const SpectrumRow& a, const SpectrumRow& b) {
    return a.frequencyHz == b.frequencyHz;
}
