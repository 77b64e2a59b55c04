#include "res/main_dialog_template.h"

namespace {

using K = ControlKind;

// clang-format off
constexpr ControlTemplate kMainControls[] = {
    //  id               kind              caption                    x    y    w    h
    {kIdBanner,          K::StaticSunken,  "",                         7,   6, 261, 123},
    {kIdKeySelect,       K::Button,        "Select/&Menu",           272,  15,  50,  14},
    {kIdOnOff,           K::Button,        "&ON/OFF",                322,  15,  50,  14},
    {kIdKeyUp,           K::Button,        "&Up",                    272,  40,  50,  14},
    {kIdHoldUp,          K::Button,        "<- Hold   ",             322,  40,  50,  14},
    {kIdKeyDown,         K::Button,        "&Down",                  272,  65,  50,  14},
    {kIdHoldDown,        K::Button,        "<- Hold   ",             322,  65,  50,  14},
    {kIdKeyBack,         K::Button,        "&Back",                  272,  90,  50,  14},
    {kIdPause,           K::CheckBox,      "Pause",                  324,  88,  41,  16},
    {kIdPortSelector,    K::ComboList,     "",                       271, 114,  49, 146},
    {kIdAutoOpen,        K::Button,        "&Auto Open",             322, 114,  50,  14},
    {kIdAutoGroup,       K::GroupBox,      "Auto",                   313, 130,  29,  41},
    {kIdAutoSpectrum,    K::CheckBox,      "",                       323, 142,  16,   8},
    {kIdAutoField,       K::CheckBox,      "",                       323, 157,  16,   8},
    {kIdAutoSaveGroup,   K::GroupBox,      "",                       345, 129,  27,  42},
    {kNoId,              K::Static,        "Auto\r\nSave",           350, 135,  19,  16},
    {kIdAutoSave,        K::CheckBox,      "",                       354, 156,  10,   8},
    {kIdGetSpectrum,     K::Button,        "GET SPECT&RUM DATA",     227, 140,  86,  14},
    {kIdGetEmf,          K::Button,        "GET &EMF DATA",          227, 156,  86,  14},
    {kIdBar,             K::CheckBox,      "Bar",                     13, 134,  44,  19},
    {kIdLine,            K::CheckBox,      "Line",                    13, 146,  44,  19},
    {kIdPower,           K::CheckBox,      "Power",                   13, 159,  44,  19},
    {kNoId,              K::GroupBox,      "",                        59, 138,  99,  35},
    {kNoId,              K::StaticCentred, "Search\rThreshold",       61, 147,  35,  19},
    {kIdThresholdDbm,    K::ComboList,     "",                       100, 144,  56, 144},
    {kIdThresholdPower,  K::ComboList,     "",                       100, 157,  56, 131},
    {kIdShowX,           K::CheckBox,      "X",                      168, 146,  21,  10},
    {kIdShowZ,           K::CheckBox,      "Z",                      196, 146,  21,  10},
    {kIdShowY,           K::CheckBox,      "Y",                      168, 159,  21,  10},
    {kIdShowEmf,         K::CheckBox,      "EMF",                    196, 159,  31,  10},
    {kIdGraph,           K::StaticSunken,  "",                         7, 178, 365, 175},
};

constexpr ControlTemplate kAboutControls[] = {
    {kNoId,              K::Static,        kAboutVersionText,         40,  10, 119,   8},
    {kIdOk,        K::DefaultButton, "OK",                     214,   7,  50,  14},
};

constexpr ControlTemplate kScanningControls[] = {
    {kScanningTextId,    K::StaticCentred, kScanningText,              7,  10, 121,  24},
    {kScanningOkId,      K::DefaultButton, "OK",                      42,  26,  50,  14, kHidden},
};

// Every menu and item has a mnemonic of its own within its menu; the buttons' mnemonics (M, O,
// U, D, B, A, R, E) stay off the menu bar's F, T and H, so Alt+F opens File at once.
constexpr MenuItemTemplate kMenuItems[] = {
    //  menu      submenu                  caption                      id
    {"&File",  nullptr,                 "&Load",                     kCmdLoad},
    {"&File",  nullptr,                 nullptr,                     0},
    {"&File",  nullptr,                 "&Save",                     kCmdSave},
    {"&File",  nullptr,                 nullptr,                     0},
    {"&File",  nullptr,                 "Save S&creen",              kCmdSaveScreen},
    {"&File",  nullptr,                 nullptr,                     0},
    {"&File",  nullptr,                 "&Download History",         kCmdDownloadHistory},
    {"&File",  nullptr,                 nullptr,                     0},
    {"&File",  "Do&wnload Screenshot",  "&1",                        kCmdScreenshot1},
    {"&File",  "Do&wnload Screenshot",  "&2",                        kCmdScreenshot2},
    {"&File",  "Do&wnload Screenshot",  "&3",                        kCmdScreenshot3},
    {"&File",  "Do&wnload Screenshot",  "&4",                        kCmdScreenshot4},
    {"&Tools", nullptr,                 "Sync &Time",                kCmdSyncTime},
    {"&Tools", nullptr,                 nullptr,                     0},
    {"&Tools", nullptr,                 "&HX Terminal",              kCmdTerminal},
    // The long-term views and the recorder, after the original items.
    {"&File",  nullptr,                 nullptr,                     0},
    {"&File",  nullptr,                 "&Open History...",          kCmdOpenHistory},
    {"&File",  nullptr,                 nullptr,                     0},
    {"&File",  nullptr,                 "Open &Recording...",        kCmdOpenRecording},
    {"&Tools", nullptr,                 nullptr,                     0},
    {"&Tools", nullptr,                 "&Record Field Readings...", kCmdRecordField},
    {"&Tools", nullptr,                 nullptr,                     0},
    {"&Tools", nullptr,                 "Record &Spectra...",        kCmdRecordSpectra},
    {"&Tools", nullptr,                 nullptr,                     0},
    {"&Tools", nullptr,                 "Stop &Field Recording",     kCmdStopFieldRecording},
    {"&Tools", nullptr,                 "Stop S&pectrum Recording",  kCmdStopSpectrumRecording},
    {"&Help",  nullptr,                 "&About",                    kCmdAbout},
    // The window's own way out, last in File; after a tab, the item's shortcut.
    {"&File",  nullptr,                 nullptr,                     0},
    {"&File",  nullptr,                 "&Quit\tCtrl+Q",             kCmdQuit},
};
// clang-format on

}  // namespace

const DialogTemplate kMainDialogTemplate{kMainTemplateId, kProgramTitle, 380, 360, kMainControls};
const DialogTemplate kAboutDialogTemplate{kAboutTemplateId, "About Ferrolog", 271, 65,
                                          kAboutControls};
const DialogTemplate kScanningDialogTemplate{kScanningTemplateId, "", 135, 46, kScanningControls};
const std::span<const MenuItemTemplate> kMainMenu{kMenuItems};
