#pragma once
// The main window's File › Download Screenshot › 1–4 and File › Save Screen: the shared steps
// of screenshot_download.h with the program's save dialog as the file choice.

#include "measure/measurement_file.h"
#include "screen/screenshot_download.h"

class QWidget;
class MeterLink;

// The bitmap dialogs offer the bitmap type only.
inline constexpr FileFilter kBitmapFilters[] = {{"BMP Files (*.bmp)", "*.bmp"}};

// Slot '1'…'4' of the menu item. Dialogs and messages are owned by `mainWindow`.
void DownloadScreenshotCommand(QWidget* mainWindow, MeterLink& link, char slot);

// Saves the frame `lastFrame` gives (the window's last mirrored one).
void SaveScreenCommand(QWidget* mainWindow, MeterLink& link, const MirroredFrame& lastFrame);
