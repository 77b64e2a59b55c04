#include "terminal/terminal_frame.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>
#include <utility>

#include "link/serial_port.h"

namespace {

// Commands without parameters: the box is disabled and keeps whatever it holds.
constexpr const char* kNoParameterCommands[] = {
    "GETVER",   "GETCPM",   "KEY0",         "KEY1",       "KEY2",        "KEY3",
    "SPEAKER0", "SPEAKER1", "ALARM1",       "ALARM2",     "GETVOLT",     "GETTEMP",
    "GETCFG",   "GETGYRO",  "HEARTBEAT0",   "HEARTBEAT1", "GETDATETIME", "CFGUPDATE",
    "POWEROFF", "POWERON",  "FACTORYRESET", "GetRAM",     "GETSERIAL",
};

// Commands whose box is filled with sample parameters.
// clang-format off
constexpr std::pair<const char*, const char*> kDefaultParameters[] = {
    {"SPIR",        "00 00 00 00 FF"},
    {"SPIPW",       "00 00 00 00 02 55 AA"},
    {"SPISE",       "00 00 00"},
    {"SETDATETIME", "0D 0B 12 05 04 03"},
    {"WCFG",        "01 01"},
    {"CPMSPKCAL",   "0A"},
};
// clang-format on

constexpr size_t kShortestCommand = 2;
constexpr size_t kHexPairStride = 3;  // two digits and a blank
constexpr char kPairSeparator = ' ';

bool IsWhiteSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string WithoutTrailingWhiteSpace(const std::string& text) {
    const auto end = std::find_if_not(text.rbegin(), text.rend(), IsWhiteSpace).base();
    return std::string(text.begin(), end);
}

std::string WithoutLeadingWhiteSpace(const std::string& text) {
    return std::string(std::find_if_not(text.begin(), text.end(), IsWhiteSpace), text.end());
}

// Pairs at every third character; false when a pair is not followed by a blank.
bool ParseHexParameters(const std::string& parameterText, Bytes& out) {
    const std::string text = WithoutLeadingWhiteSpace(parameterText);
    for (size_t j = 0; j < text.size(); j += kHexPairStride) {
        const int high = HexDigitValue(text[j]);
        const int low = j + 1 < text.size() ? HexDigitValue(text[j + 1]) : 0;
        if (j + 2 < text.size() && text[j + 2] != kPairSeparator) return false;
        out.push_back(static_cast<uint8_t>(16 * high + low));
    }
    return true;
}

}  // namespace

ParameterRule ParameterRuleFor(const std::string& command) {
    if (std::find(std::begin(kNoParameterCommands), std::end(kNoParameterCommands), command) !=
        std::end(kNoParameterCommands))
        return {false, std::nullopt};
    for (const auto& [name, parameters] : kDefaultParameters)
        if (command == name) return {true, parameters};
    return {true, ""};
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

TerminalFrameResult BuildTerminalFrame(const std::string& commandText,
                                       const std::string& parameterText, bool textParameters) {
    if (commandText.size() < kShortestCommand) return {TerminalFrameStatus::Nothing, {}};
    if (parameterText.size() == 1) return {TerminalFrameStatus::ParameterError, {}};
    Bytes parameters;
    if (textParameters) {
        const std::string text = WithoutTrailingWhiteSpace(parameterText);
        parameters.assign(text.begin(), text.end());
    } else if (!ParseHexParameters(parameterText, parameters)) {
        return {TerminalFrameStatus::SpaceNeeded, {}};
    }
    return {TerminalFrameStatus::Frame, BuildFrame(commandText, parameters)};
}

TerminalLine ParseTerminalLine(const std::string& line) {
    TerminalLine input;
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) return input;
    const size_t end = line.find_first_of(" \t", start);
    input.command = line.substr(start, end - start);
    if (end == std::string::npos) return input;
    input.parameters = line.substr(end + 1);
    const std::string option = kTerminalTextOption;
    if (input.parameters.compare(0, option.size(), option) == 0 &&
        (input.parameters.size() == option.size() || input.parameters[option.size()] == ' ')) {
        input.textParameters = true;
        input.parameters.erase(0, std::min(input.parameters.size(), option.size() + 1));
    }
    return input;
}

const char* TerminalFrameMessage(TerminalFrameStatus status) {
    switch (status) {
        case TerminalFrameStatus::ParameterError:
            return kParameterErrorMessage;
        case TerminalFrameStatus::SpaceNeeded:
            return kSpaceNeededMessage;
        default:
            return "";
    }
}

std::string FrameReadout(const Bytes& frame) {
    std::string text;
    text.reserve(frame.size() * 3);
    char pair[4];
    for (const uint8_t byte : frame) {
        std::snprintf(pair, sizeof pair, "%02X ", byte);
        text += pair;
    }
    return text;
}

std::string PortInfoText(int comNumber) {
    char text[64];
    std::snprintf(text, sizeof text, "COM%d,%d,%s,%d,%d", comNumber, kMeterBaudRate, "n", 8, 1);
    return text;
}
