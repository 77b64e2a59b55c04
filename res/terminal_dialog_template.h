#pragma once
// Template 160: the command terminal ("HX Terminal"), with its control ids.

#include "res/dialog_template.h"

inline constexpr int kTerminalTemplateId = 160;

// Control ids of the terminal.
enum TerminalControlId : int {
    kIdCalibrationCpm1 = 1080,  // 1080-1085: the calibration fields, always hidden
    kIdCalibrationCpm2 = 1081,
    kIdCalibrationCpm3 = 1082,
    kIdCalibrationUsv1 = 1083,
    kIdCalibrationUsv2 = 1084,
    kIdCalibrationUsv3 = 1085,
    kIdHexPane = 1186,
    kIdParameters = 1188,
    kIdSendCommand = 1189,
    kIdPortInfo = 1191,
    kIdReconnect = 1192,
    kIdCommand = 1193,
    kIdTextPane = 1194,
    kIdClearText = 1195,
    kIdClearHex = 1196,
    kIdKey1 = 1197,
    kIdKey2 = 1198,
    kIdKey4 = 1199,
    kIdKey3 = 1200,
    kIdLastFrame = 1205,
    kIdCalibrationWrite = 1209,
    kIdCalibrationRead = 1212,
    kIdTextParameters = 1224,
    kIdSaveLog = 1230,
};

extern const DialogTemplate kTerminalDialogTemplate;
