#include "res/terminal_dialog_template.h"

namespace {

using K = ControlKind;

// clang-format off
constexpr ControlTemplate kTerminalControls[] = {
    //  id                  kind                  caption                                             x    y    w    h
    {kNoId,                 K::GroupBox,          "Comport information:",                              7,   7, 188,  28},
    {kIdPortInfo,           K::Static,            "-",                                                15,  15, 176,  17},
    {kIdReconnect,          K::Button,            "Reconnect",                                       203,  13,  75,  21},
    {kNoId,                 K::Static,            "Received in Hex Value:",                            7,  38, 113,  10},
    {kIdHexPane,            K::EditMultiReadOnly, "",                                                  7,  50, 239,  31},
    {kIdClearHex,           K::Button,            "Clear",                                           250,  58,  28,  14},
    {kNoId,                 K::Static,            "Received in ASCII text:",                           7,  85, 120,   8},
    {kIdTextPane,           K::EditMultiReadOnly, "",                                                  7,  97, 241,  34},
    {kIdClearText,          K::Button,            "Clear",                                           251, 105,  27,  14},
    {kNoId,                 K::GroupBox,          "Last command in hexadecimal been sent to comport",  7, 134, 271,  27},
    {kIdLastFrame,          K::EditReadOnly,      "",                                                 13, 145, 257,  12},
    {kNoId,                 K::Static,            "Command Text",                                     21, 163,  78,  11},
    {kNoId,                 K::Static,            "Hexadecimal Parameters (E.g.  00 AE F0)",         103, 163, 175,   8},
    {kNoId,                 K::Static,            "<",                                                10, 178,   8,   8},
    {kIdCommand,            K::ComboEdit,         "",                                                 21, 176,  78,  82},
    {kIdParameters,         K::Edit,              "",                                                102, 176, 149,  14},
    {kNoId,                 K::Static,            ">>",                                              255, 180,  13,  10},
    {kIdTextParameters,     K::CheckBox,          "Text Parameters",                                 103, 194,  90,  10},
    {kIdSendCommand,        K::Button,            "Send command with parameters",                     19, 212, 235,  19},
    {kNoId,                 K::GroupBox,          "Key commands",                                      6, 241, 271,  40},
    {kIdKey1,               K::Button,            "Key1 (S1)",                                        16, 256,  50,  14},
    {kIdKey2,               K::Button,            "Key2 (S2)",                                        86, 256,  50,  14},
    {kIdKey3,               K::Button,            "Key3 (S3)",                                       155, 256,  50,  14},
    {kIdKey4,               K::Button,            "Key4 (S4)",                                       219, 256,  50,  14},
    {kIdOk,                 K::DefaultButton,     "Exit",                                            116, 288,  60,  19},
    {kIdSaveLog,            K::Button,            "Save Log",                                        210, 288,  60,  19},
    // Calibration: part of the template, created hidden, never shown and without effect.
    {kNoId,                 K::GroupBox,          "Calibration",                                     203,  38,  75,  93, kHidden},
    {kNoId,                 K::Static,            "CPM:",                                            208,  49,  20,   8, kHidden},
    {kIdCalibrationCpm1,    K::Edit,              "",                                                230,  47,  14,  12, kHidden},
    {kIdCalibrationCpm2,    K::Edit,              "",                                                246,  47,  14,  12, kHidden},
    {kIdCalibrationCpm3,    K::Edit,              "",                                                262,  47,  14,  12, kHidden},
    {kNoId,                 K::Static,            "uSv:",                                            208,  65,  20,   8, kHidden},
    {kIdCalibrationUsv1,    K::Edit,              "",                                                230,  63,  14,  12, kHidden},
    {kIdCalibrationUsv2,    K::Edit,              "",                                                246,  63,  14,  12, kHidden},
    {kIdCalibrationUsv3,    K::Edit,              "",                                                262,  63,  14,  12, kHidden},
    {kIdCalibrationRead,    K::Button,            "Read From Unit",                                  208,  81,  65,  14, kHidden},
    {kIdCalibrationWrite,   K::Button,            "Write To Unit",                                   208,  99,  65,  14, kHidden},
};
// clang-format on

}  // namespace

const DialogTemplate kTerminalDialogTemplate = {
    kTerminalTemplateId, "HX Terminal", 285, 314, kTerminalControls,
};
