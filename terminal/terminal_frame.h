#pragma once
// The command terminal's rules: the command list, what choosing a command does to the
// parameter box, and how the two boxes become one frame: "<" + command text + parameter
// bytes (hexadecimal pairs separated by blanks, or the text itself) + ">>".

#include <array>
#include <optional>
#include <string>

#include "link/command_frame.h"
#include "link/meter_identity.h"

// The command box's list, in order; the last two items are empty.
inline constexpr std::array<const char*, 28> kTerminalCommands = {
    "ALARM0",   "ALARM1",     "CFGUPDATE",
    "EchoON",   "EchoOFF",    "FACTORYRESET",
    "GETVER",   "GETSERIAL",  "GETVOLT",
    "GETGYRO",  "GETEMFDATA", "GETDATETIME",
    "GETEMF",   "GETEF",      "GETBANDDATA",
    "GETMODE",  "SETEMF",     "KEY0",
    "KEY1",     "KEY2",       "KEY3",
    "SPEAKER0", "SPEAKER1",   "POWEROFF",
    "POWERON",  "REBOOT",     "",
    "",
};

// What choosing or typing a command does to the parameter box.
struct ParameterRule {
    bool enabled = true;
    std::optional<std::string> text;  // the box's new text; none: left as it was
};

// Exact, case-sensitive match on the command text.
ParameterRule ParameterRuleFor(const std::string& command);

// '0'…'9', 'A'…'F', 'a'…'f' give 0…15; any other character gives 0.
int HexDigitValue(char c);

enum class TerminalFrameStatus {
    Nothing,         // command text shorter than 2 characters: nothing happens
    ParameterError,  // parameter text of exactly 1 character
    SpaceNeeded,     // hexadecimal pairs not separated by a blank
    Frame,           // frame built
};

struct TerminalFrameResult {
    TerminalFrameStatus status = TerminalFrameStatus::Nothing;
    Bytes frame;  // only with Frame; may exceed 32 bytes, which the port then refuses
};

// The frame for the two boxes. Text parameters lose their trailing white space and go as
// they are; hexadecimal parameters lose their leading white space and are read as pairs at
// every third character, a missing second digit or a non-hexadecimal one counting as 0.
TerminalFrameResult BuildTerminalFrame(const std::string& commandText,
                                       const std::string& parameterText, bool textParameters);

// A typed command line, as the command-line tool's terminal and send jobs take it:
// "NAME [HEX PAIRS]" or "NAME --text TEXT". The name is the first word; what follows the blank
// after it is the parameter box's text, as text parameters after "--text".
struct TerminalLine {
    std::string command;
    std::string parameters;
    bool textParameters = false;
};
inline constexpr const char* kTerminalTextOption = "--text";
TerminalLine ParseTerminalLine(const std::string& line);

// The message box text for a refused frame; empty for Nothing and Frame.
const char* TerminalFrameMessage(TerminalFrameStatus status);

// The read-out of the last frame sent: "3C 4B 45 59 30 3E 3E " (each byte and a blank).
std::string FrameReadout(const Bytes& frame);

// The port settings line, "COM3,115200,n,8,1".
std::string PortInfoText(int comNumber);

// The four key buttons put their command into the command box and send it.
struct TerminalKeyButton {
    int control;
    const char* caption;
    const char* command;
};
inline constexpr std::array<TerminalKeyButton, 4> kTerminalKeyButtons = {{
    {1197, "Key1 (S1)", "KEY0"},
    {1198, "Key2 (S2)", "KEY1"},
    {1200, "Key3 (S3)", "KEY2"},
    {1199, "Key4 (S4)", "KEY3"},
}};

inline constexpr const char* kTerminalCaption = "HX Terminal";
inline constexpr const char* kParameterErrorMessage = "Parameter error!";
inline constexpr const char* kSpaceNeededMessage = "Parameter error, space needed in between.";
inline constexpr const char* kTerminalOpenError = kComportOpenError;  // "Comport open error"
