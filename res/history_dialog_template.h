#pragma once
// Template 136: the history download dialog, with its control ids.

#include "res/dialog_template.h"

inline constexpr int kHistoryTemplateId = 136;

enum HistoryControlId : int {
    kIdHistoryProgress = 1059,
    kIdHistoryDownload = 1062,
    kIdHistoryStatus = 1063,
    kIdHistoryExit = 1064,
};

// The caption and the button captions the download switches between.
inline constexpr const char* kHistoryDialogCaption = "Download History";
inline constexpr const char* kHistoryDownloadButton = "Download";
inline constexpr const char* kHistoryStopSaveButton = "Stop/Save";
inline constexpr const char* kHistoryPleaseWaitButton = "Please wait..";
inline constexpr const char* kHistoryExitButton = "Exit";
inline constexpr const char* kHistoryCancelButton = "Cancel";

extern const DialogTemplate kHistoryDialogTemplate;
