#pragma once
// Template 102 (the main window), menu 131, template 100 (About) and template 134 (the
// scanning panel), with their control and command ids.

#include "res/dialog_template.h"
#include "res/version_texts.h"

// Control ids of the main window.
enum MainControlId : int {
    kIdKeyBack = 1009,
    kIdKeyDown = 1010,
    kIdKeyUp = 1011,
    kIdKeySelect = 1012,
    kIdHoldDown = 1014,
    kIdHoldUp = 1015,
    kIdOnOff = 1016,
    kIdGraph = 1026,
    kIdGetSpectrum = 1033,
    kIdGetEmf = 1034,
    kIdLine = 1036,
    kIdBar = 1037,
    kIdThresholdDbm = 1038,
    kIdPower = 1043,
    kIdThresholdPower = 1044,
    kIdShowX = 1047,
    kIdShowY = 1048,
    kIdShowZ = 1049,
    kIdShowEmf = 1050,
    kIdBanner = 1052,
    kIdPortSelector = 1053,
    kIdAutoOpen = 1054,
    kIdAutoGroup = 1068,
    kIdAutoField = 1069,
    kIdAutoSpectrum = 1070,
    kIdPause = 1071,
    kIdAutoSave = 1076,
    kIdAutoSaveGroup = 1077,
};

// Menu command ids.
enum MenuCommandId : int {
    kCmdLoad = 32771,
    kCmdSave = 32772,
    kCmdAbout = 32773,
    kCmdTerminal = 32774,
    kCmdSyncTime = 32775,
    kCmdDownloadHistory = 32776,
    kCmdSaveScreen = 32780,
    kCmdScreenshot1 = 32781,
    kCmdScreenshot2 = 32782,
    kCmdScreenshot3 = 32783,
    kCmdScreenshot4 = 32784,
    kCmdSystemAbout = 16,  // the system menu's About item
    // The long-term views and the recorder.
    kCmdOpenHistory = 32790,
    kCmdOpenRecording = 32791,
    kCmdRecordField = 32792,
    kCmdStopFieldRecording = 32793,
    kCmdRecordSpectra = 32794,
    kCmdQuit = 32795,  // closes the window as its close box does
    kCmdStopSpectrumRecording = 32796,
};

inline constexpr int kMainTemplateId = 102;
inline constexpr int kAboutTemplateId = 100;
inline constexpr int kScanningTemplateId = 134;
inline constexpr int kMainMenuId = 131;
inline constexpr int kIconId = 133;
inline constexpr int kScanningTextId = 1058;
inline constexpr int kScanningOkId = 1057;

inline constexpr const char* kProgramTitle = "Ferrolog";
inline constexpr const char* kAboutMenuText = "&About Ferrolog...";  // string 101
inline constexpr const char* kScanningText = "Scanning Device...\r\n Please wait...";

extern const DialogTemplate kMainDialogTemplate;
extern const DialogTemplate kAboutDialogTemplate;
extern const DialogTemplate kScanningDialogTemplate;

struct MenuItemTemplate {
    const char* menu;     // top-level menu
    const char* submenu;  // nullptr, or the popup inside it
    const char* caption;  // nullptr: a separator; "text\tCtrl+Q": text and its shortcut
    int id;
};

extern const std::span<const MenuItemTemplate> kMainMenu;
