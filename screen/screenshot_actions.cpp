#include "screen/screenshot_actions.h"

#include "screen/screenshot_download.h"
#include "ui/file_dialog.h"

namespace {

BitmapFileChooser SaveDialogOf(QWidget* mainWindow) {
    return [mainWindow](const std::string& initialName) -> std::optional<std::string> {
        CFileLocalDlg dialog(false, initialName, kBitmapFilters, mainWindow);
        if (!dialog.DoModal()) return std::nullopt;
        return dialog.PathName();
    };
}

}  // namespace

void DownloadScreenshotCommand(QWidget* mainWindow, MeterLink& link, char slot) {
    DownloadScreenshot(link, slot, SaveDialogOf(mainWindow));
}

void SaveScreenCommand(QWidget* mainWindow, MeterLink& link, const MirroredFrame& lastFrame) {
    SaveScreen(link, lastFrame, SaveDialogOf(mainWindow));
}
