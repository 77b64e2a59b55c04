#include "terminal/terminal_frame.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Bytes Framed(const std::string& command, const Bytes& parameters) {
    const std::string start = "<" + command;
    Bytes frame(start.begin(), start.end());
    for (const uint8_t byte : parameters)
        frame.push_back(byte);
    frame.push_back('>');
    frame.push_back('>');
    return frame;
}

}  // namespace

TEST(TerminalFrame, HexParametersBecomeBytes) {
    struct Case {
        const char* parameters;
        Bytes bytes;
    };
    const Case cases[] = {
        {"", {}},
        {"00 00 00 00 FF", {0x00, 0x00, 0x00, 0x00, 0xFF}},
        {"00 AE F0", {0x00, 0xAE, 0xF0}},
        {"0A", {0x0A}},
        {"0A ", {0x0A}},
        {"0a ff", {0x0A, 0xFF}},
        {"  \t0A 0B", {0x0A, 0x0B}},  // leading white space goes
        {" 7", {0x70}},               // a lone digit is the high one
        {"0A 0", {0x0A, 0x00}},
        {"0A  ", {0x0A, 0x00}},  // a pair of blanks reads as 00
        {"   ", {}},
        {"0G zz", {0x00, 0x00}},  // non-hexadecimal characters count as 0
        {"1  2", {0x10, 0x20}},   // each digit the high one of its pair
    };
    for (const Case& c : cases) {
        const TerminalFrameResult result = BuildTerminalFrame("SPIR", c.parameters, false);
        EXPECT_EQ(result.status, TerminalFrameStatus::Frame) << '"' << c.parameters << '"';
        EXPECT_EQ(result.frame, Framed("SPIR", c.bytes)) << '"' << c.parameters << '"';
    }
}

// One typed line, as the command-line tool's terminal and send jobs read it.
TEST(TerminalFrame, ATypedLineSplitsIntoCommandAndParameterBox) {
    struct Case {
        const char* line;
        const char* command;
        const char* parameters;
        bool text;
    };
    // clang-format off
    const Case cases[] = {
        {"GETVER",                  "GETVER",    "",               false},
        {"  GETSERIAL 00 AE F0",    "GETSERIAL", "00 AE F0",       false},
        {"SETEMF\t00AEF0",          "SETEMF",    "00AEF0",         false},
        {"SETEMF --text ab c  ",    "SETEMF",    "ab c  ",         true},
        {"SETEMF --text",           "SETEMF",    "",               true},
        {"SETEMF --textual",        "SETEMF",    "--textual",      false},
        {"SETEMF  --text x",        "SETEMF",    " --text x",      false},
        {"   ",                     "",          "",               false},
    };
    // clang-format on
    for (const Case& c : cases) {
        const TerminalLine line = ParseTerminalLine(c.line);
        EXPECT_EQ(line.command, c.command) << c.line;
        EXPECT_EQ(line.parameters, c.parameters) << c.line;
        EXPECT_EQ(line.textParameters, c.text) << c.line;
    }
}

TEST(TerminalFrame, SpirWithDefaultParametersIsTwelveBytes) {
    const TerminalFrameResult result =
        BuildTerminalFrame("SPIR", *ParameterRuleFor("SPIR").text, false);
    EXPECT_EQ(result.frame,
              (Bytes{0x3C, 0x53, 0x50, 0x49, 0x52, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x3E, 0x3E}));
}

TEST(TerminalFrame, RefusedInputSendsNothing) {
    struct Case {
        const char* command;
        const char* parameters;
        bool text;
        TerminalFrameStatus status;
    };
    const Case cases[] = {
        {"SPIR", "00AEF0", false, TerminalFrameStatus::SpaceNeeded},
        {"SPIR", "0A\t0B", false, TerminalFrameStatus::SpaceNeeded},
        {"SPIR", "0A 0B0C", false, TerminalFrameStatus::SpaceNeeded},
        {"SPIR", "1 2 ", false, TerminalFrameStatus::SpaceNeeded},
        {"SPIR", "7", false, TerminalFrameStatus::ParameterError},
        {"SPIR", " ", false, TerminalFrameStatus::ParameterError},
        {"SPIR", "a", true, TerminalFrameStatus::ParameterError},
        {"K", "", false, TerminalFrameStatus::Nothing},
        {"K", "7", false, TerminalFrameStatus::Nothing},  // the command is looked at first
        {"", "00", false, TerminalFrameStatus::Nothing},
    };
    for (const Case& c : cases) {
        const TerminalFrameResult result = BuildTerminalFrame(c.command, c.parameters, c.text);
        EXPECT_EQ(result.status, c.status) << c.command << " \"" << c.parameters << '"';
        EXPECT_TRUE(result.frame.empty());
    }
    EXPECT_STREQ(TerminalFrameMessage(TerminalFrameStatus::SpaceNeeded),
                 "Parameter error, space needed in between.");
    EXPECT_STREQ(TerminalFrameMessage(TerminalFrameStatus::ParameterError), "Parameter error!");
    EXPECT_STREQ(TerminalFrameMessage(TerminalFrameStatus::Nothing), "");
}

TEST(TerminalFrame, TextParametersGoAsTheyAreWithoutTrailingWhiteSpace) {
    const std::pair<const char*, Bytes> cases[] = {
        {"abc", {0x61, 0x62, 0x63}},
        {"ab \t\r\n", {0x61, 0x62}},
        {"  ab", {0x20, 0x20, 0x61, 0x62}},
        {"00 AE", {'0', '0', ' ', 'A', 'E'}},
        {"", {}},
    };
    for (const auto& [parameters, bytes] : cases) {
        const TerminalFrameResult result = BuildTerminalFrame("SETEMF", parameters, true);
        EXPECT_EQ(result.status, TerminalFrameStatus::Frame);
        EXPECT_EQ(result.frame, Framed("SETEMF", bytes)) << '"' << parameters << '"';
    }
}

TEST(TerminalFrame, DisabledBoxStillGivesItsText) {
    std::string box = *ParameterRuleFor("SPISE").text;
    const ParameterRule rule = ParameterRuleFor("GETVER");
    EXPECT_FALSE(rule.enabled);
    if (rule.text) box = *rule.text;
    EXPECT_EQ(box, "00 00 00");
    EXPECT_EQ(BuildTerminalFrame("GETVER", box, false).frame, Framed("GETVER", {0x00, 0x00, 0x00}));
}

TEST(TerminalFrame, KeyButtonWithEmptyParametersSendsKeyFrame) {
    const TerminalFrameResult result =
        BuildTerminalFrame(kTerminalKeyButtons[0].command, "", false);
    EXPECT_EQ(result.frame, (Bytes{'<', 'K', 'E', 'Y', '0', '>', '>'}));
    EXPECT_EQ(FrameReadout(result.frame), "3C 4B 45 59 30 3E 3E ");
}

TEST(TerminalFrame, LongFrameIsStillBuilt) {
    std::string parameters;
    for (int i = 0; i < 26; ++i)
        parameters += "A5 ";
    const TerminalFrameResult result = BuildTerminalFrame("SPIR", parameters, false);
    EXPECT_EQ(result.status, TerminalFrameStatus::Frame);
    EXPECT_EQ(result.frame.size(), 33u);
    EXPECT_EQ(result.frame[5], 0xA5);
    EXPECT_EQ(result.frame[30], 0xA5);
}

TEST(TerminalFrame, ParameterRulesFollowTheCommandExactly) {
    const char* const disabled[] = {
        "GETVER",   "GETCPM",   "KEY0",         "KEY1",       "KEY2",        "KEY3",
        "SPEAKER0", "SPEAKER1", "ALARM1",       "ALARM2",     "GETVOLT",     "GETTEMP",
        "GETCFG",   "GETGYRO",  "HEARTBEAT0",   "HEARTBEAT1", "GETDATETIME", "CFGUPDATE",
        "POWEROFF", "POWERON",  "FACTORYRESET", "GetRAM",     "GETSERIAL",
    };
    for (const char* command : disabled) {
        const ParameterRule rule = ParameterRuleFor(command);
        EXPECT_FALSE(rule.enabled) << command;
        EXPECT_FALSE(rule.text.has_value()) << command;
    }
    const std::pair<const char*, const char*> filled[] = {
        {"SPIR", "00 00 00 00 FF"}, {"SPIPW", "00 00 00 00 02 55 AA"},
        {"SPISE", "00 00 00"},      {"SETDATETIME", "0D 0B 12 05 04 03"},
        {"WCFG", "01 01"},          {"CPMSPKCAL", "0A"},
    };
    for (const auto& [command, text] : filled) {
        const ParameterRule rule = ParameterRuleFor(command);
        EXPECT_TRUE(rule.enabled) << command;
        EXPECT_EQ(rule.text, text) << command;
    }
    const char* const emptied[] = {"ALARM0", "EchoON", "GETEMFDATA", "REBOOT", "",
                                   "getver", "GETRAM", "GETVER ",    "spir",   "SPIR0"};
    for (const char* command : emptied) {
        const ParameterRule rule = ParameterRuleFor(command);
        EXPECT_TRUE(rule.enabled) << command;
        EXPECT_EQ(rule.text, "") << command;
    }
}

TEST(TerminalFrame, HexDigitValueTakesBothCasesAndZeroForTheRest) {
    const std::pair<char, int> cases[] = {
        {'0', 0}, {'9', 9},  {'A', 10},   {'F', 15}, {'a', 10}, {'f', 15},
        {'/', 0}, {':', 0},  {'@', 0},    {'G', 0},  {'`', 0},  {'g', 0},
        {' ', 0}, {'\0', 0}, {'\xB0', 0}, {'5', 5},  {'c', 12}, {'D', 13},
    };
    for (const auto& [c, value] : cases)
        EXPECT_EQ(HexDigitValue(c), value) << int{c};
}

TEST(TerminalFrame, ReadoutIsUpperCasePairsEachFollowedByABlank) {
    EXPECT_EQ(FrameReadout({}), "");
    EXPECT_EQ(FrameReadout({0x00, 0xab, 0xFF}), "00 AB FF ");
}

TEST(TerminalFrame, PortInfoNamesTheLineSettings) {
    EXPECT_EQ(PortInfoText(3), "COM3,115200,n,8,1");
    EXPECT_EQ(PortInfoText(32), "COM32,115200,n,8,1");
}

TEST(TerminalFrame, CommandListEndsWithTwoEmptyItems) {
    EXPECT_EQ(kTerminalCommands.size(), 28u);
    EXPECT_STREQ(kTerminalCommands[0], "ALARM0");
    EXPECT_STREQ(kTerminalCommands[17], "KEY0");
    EXPECT_STREQ(kTerminalCommands[25], "REBOOT");
    EXPECT_STREQ(kTerminalCommands[26], "");
    EXPECT_STREQ(kTerminalCommands[27], "");
}

TEST(TerminalFrame, KeyButtonsSendKeyZeroToThree) {
    EXPECT_EQ(kTerminalKeyButtons[0].control, 1197);
    EXPECT_STREQ(kTerminalKeyButtons[0].command, "KEY0");
    EXPECT_EQ(kTerminalKeyButtons[2].control, 1200);
    EXPECT_STREQ(kTerminalKeyButtons[2].caption, "Key3 (S3)");
    EXPECT_STREQ(kTerminalKeyButtons[2].command, "KEY2");
    EXPECT_EQ(kTerminalKeyButtons[3].control, 1199);
    EXPECT_STREQ(kTerminalKeyButtons[3].command, "KEY3");
}
