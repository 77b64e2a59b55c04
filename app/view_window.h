#pragma once
// The window a long-term trend or an RF waterfall is shown in: resizable, placed beside the
// main window (each further one a step down and right), closed with Esc or with the main
// window. Below its view: a waterfall's Floor and Ceiling of its colours, Show All (the whole
// file again, as Home does), Export PNG... (the view as drawn, with the file's name and the
// times on show above it, written whole or not at all), and what the caller adds (a live
// view's Stop Recording).

#include <functional>
#include <string>

class QImage;
class QPushButton;
class QWidget;

inline constexpr const char* kShowAllCaption = "Show &All";
inline constexpr const char* kExportPngCaption = "Export &PNG...";
inline constexpr const char* kStopRecordingCaption = "&Stop Recording";
inline constexpr const char* kFloorCaption = "&Floor";
inline constexpr const char* kCeilingCaption = "&Ceiling";

// Shows `view` in a window of its own owned by `parent`, titled after `path`; returns it.
QWidget* ShowInViewWindow(QWidget* parent, QWidget* view, const std::string& path);

// A button of the caller's before Show All in a window ShowInViewWindow made.
QPushButton* AddViewButton(QWidget* window, const char* caption, std::function<void()> clicked);

// Writes what `view` shows as a PNG picture at `path`: whole, or nothing under that name.
// The error names the path: "/tmp/a.png: Permission denied".
bool ExportViewPng(QWidget* view, const std::string& path, std::string* error);

// Writes `image` as a PNG picture at `path` the same way; a null image is an error.
bool SavePictureAsPng(const QImage& image, const std::string& path, std::string* error);
