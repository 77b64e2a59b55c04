#include "res/history_dialog_template.h"

namespace {

using K = ControlKind;

// clang-format off
constexpr ControlTemplate kHistoryControls[] = {
    //  id                  kind            caption                   x    y    w    h
    {kIdHistoryProgress,    K::ProgressBar, "",                        5,   3, 289,  14},
    {kIdHistoryStatus,      K::Static,      "",                        7,  24, 151,  17},
    {kIdHistoryDownload,    K::Button,      kHistoryDownloadButton,  159,  25,  64,  14},
    {kIdHistoryExit,        K::Button,      kHistoryExitButton,      225,  25,  64,  14},
};
// clang-format on

}  // namespace

const DialogTemplate kHistoryDialogTemplate{kHistoryTemplateId, kHistoryDialogCaption, 300, 49,
                                            kHistoryControls};
