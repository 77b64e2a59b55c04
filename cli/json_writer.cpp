#include "cli/json_writer.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Length of the valid UTF-8 sequence at text[i], 0 when it is not one.
size_t Utf8Length(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t lead = byte(i);
    size_t length = 0;
    uint32_t low = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, low = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, low = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, low = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    uint32_t code = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte(i + k) & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code >= low && code <= 0x10FFFF && !surrogate ? length : 0;
}

void AppendEscaped(std::string& out, char c) {
    switch (c) {
        case '"':
            out += "\\\"";
            return;
        case '\\':
            out += "\\\\";
            return;
        case '\n':
            out += "\\n";
            return;
        case '\r':
            out += "\\r";
            return;
        case '\t':
            out += "\\t";
            return;
        default:
            break;
    }
    if (static_cast<uint8_t>(c) < 0x20) {
        char code[8];
        std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(c));
        out += code;
    } else {
        out += c;
    }
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        if (static_cast<uint8_t>(text[i]) < 0x80) {
            AppendEscaped(out, text[i++]);
            continue;
        }
        const size_t length = Utf8Length(text, i);
        if (length == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out + "\"";
}

void JsonWriter::BeforeValue() {
    if (needsComma_) text_ += ',';
    needsComma_ = true;
}

JsonWriter& JsonWriter::BeginObject() {
    BeforeValue();
    text_ += '{';
    needsComma_ = false;
    return *this;
}

JsonWriter& JsonWriter::EndObject() {
    text_ += '}';
    needsComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::BeginArray() {
    BeforeValue();
    text_ += '[';
    needsComma_ = false;
    return *this;
}

JsonWriter& JsonWriter::EndArray() {
    text_ += ']';
    needsComma_ = true;
    return *this;
}

JsonWriter& JsonWriter::Key(std::string_view name) {
    BeforeValue();
    text_ += JsonString(name) + ':';
    needsComma_ = false;
    return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) {
    BeforeValue();
    text_ += JsonString(text);
    return *this;
}

namespace {

// to_chars prints the shortest text that reads back exactly, with "." whatever the locale.
template <typename Real>
std::string ShortestText(Real value) {
    std::array<char, 64> digits{};
    auto [end, error] = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    return std::string(digits.data(), error == std::errc() ? end : digits.data());
}

}  // namespace

JsonWriter& JsonWriter::Number(double value) {
    if (!std::isfinite(value)) return Null();
    BeforeValue();
    text_ += ShortestText(value);
    return *this;
}

JsonWriter& JsonWriter::Number(float value) {
    if (!std::isfinite(value)) return Null();
    BeforeValue();
    text_ += ShortestText(value);
    return *this;
}

JsonWriter& JsonWriter::Integer(int64_t value) {
    BeforeValue();
    text_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
    BeforeValue();
    text_ += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::Null() {
    BeforeValue();
    text_ += "null";
    return *this;
}

void PrintJsonLine(const JsonWriter& json) {
    std::printf("%s\n", json.Text().c_str());
    std::fflush(stdout);
}
