#include "measure/measurement_file.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>

#include "measure/measurement.h"
#include "measure/whole_file.h"

namespace {

constexpr char kSeparator = ',';
constexpr const char* kLineEnd = "\r\n";

constexpr char kTab = '\t';
constexpr char kLastPrintable = '~';
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsTextByte(char c) {
    return (c >= ' ' && c <= kLastPrintable) || c == '\r' || c == '\n' || c == kTab;
}

}  // namespace

std::string WithExtension(std::string_view path, std::string_view extension) {
    std::string result;
    result.reserve(path.size() + extension.size());
    std::size_t from = 0;
    for (std::size_t at; (at = path.find(extension, from)) != std::string_view::npos;
         from = at + extension.size()) {
        result.append(path.substr(from, at - from));
    }
    result.append(path.substr(from));
    result.append(extension);
    return result;
}

std::string MeasurementFileText(uint8_t kind, std::span<const uint8_t> buffer) {
    bool spectrum = kind != kKindField;
    std::span<const uint8_t> bytes = buffer.first(std::min(MeasurementLength(kind), buffer.size()));
    std::string text = spectrum ? "1," : "0,";
    char number[8];
    for (uint8_t byte : bytes) {
        std::snprintf(number, sizeof number, "%d,", static_cast<int8_t>(byte));
        text += number;
    }
    return text + kLineEnd;
}

bool WriteMeasurementFile(const std::string& path, uint8_t kind, std::span<const uint8_t> buffer,
                          std::string* error) {
    return WriteFileWhole(path, MeasurementFileText(kind, buffer), error);
}

bool IsMeasurementText(std::string_view text) {
    return std::all_of(text.begin(), text.end(), IsTextByte);
}

int32_t LeadingInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i)
        magnitude = std::min(magnitude * 10 + (text[i] - '0'), kLimit);
    int64_t value = negative ? -magnitude : magnitude;
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

std::size_t ParseMeasurementText(std::string_view text, uint8_t& kind, std::span<uint8_t> buffer) {
    std::size_t comma = text.find(kSeparator);
    if (comma == std::string_view::npos) {
        kind = kKindField;
        return 0;
    }
    kind = LeadingInteger(text.substr(0, comma)) > 0 ? kKindSpectrum : kKindField;
    text.remove_prefix(comma + 1);

    std::size_t stored = 0;
    // A comma at the very start is an empty number, which ends the values.
    while (stored < buffer.size() && (comma = text.find(kSeparator)) != std::string_view::npos &&
           comma > 0) {
        buffer[stored++] = static_cast<uint8_t>(LeadingInteger(text.substr(0, comma)));
        text.remove_prefix(comma + 1);
    }
    return stored;
}

namespace {

// The numbers go into a scratch buffer one longer than any measurement, so a text with too
// many numbers shows itself; only a whole measurement reaches `buffer`.
bool ParseWholeMeasurement(std::string_view text, uint8_t& kind, std::span<uint8_t> buffer,
                           std::size_t* stored) {
    std::array<uint8_t, kMeasurementCapacity + 1> numbers;
    uint8_t parsedKind = kKindField;
    const std::size_t count = ParseMeasurementText(text, parsedKind, numbers);
    if (count != MeasurementLength(parsedKind) || count > buffer.size()) return false;
    kind = parsedKind;
    std::copy_n(numbers.begin(), count, buffer.begin());
    if (stored) *stored = count;
    return true;
}

}  // namespace

LoadStatus LoadMeasurementFile(const std::string& path, uint8_t& kind, std::span<uint8_t> buffer,
                               std::size_t* stored, MeasurementShape shape) {
    // The program has always opened a file to load for reading and writing: a read-only file
    // is refused.
    if (!OpensForUpdate(path)) return LoadStatus::kCannotOpen;
    std::string text;
    if (!ReadRegularFile(path, kMeasurementFileLimit, &text) || !IsMeasurementText(text))
        return LoadStatus::kNotMeasurement;
    if (shape == MeasurementShape::kWhole)
        return ParseWholeMeasurement(text, kind, buffer, stored) ? LoadStatus::kLoaded
                                                                 : LoadStatus::kNotMeasurement;
    std::size_t count = ParseMeasurementText(text, kind, buffer);
    if (stored) *stored = count;
    return LoadStatus::kLoaded;
}

LoadStatus LoadWholeMeasurementFile(const std::string& path, Measurement& reading) {
    return LoadMeasurementFile(path, reading.kind, reading.bytes, nullptr,
                               MeasurementShape::kWhole);
}
