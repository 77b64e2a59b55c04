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

extern const DialogTemplate kHistoryDialogTemplate;
