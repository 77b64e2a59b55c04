#pragma once
// The window a long-term trend or an RF waterfall is shown in: resizable, closed with the main
// window, with the two buttons its view needs: Show All (a trend zoomed in goes back to the
// whole file) and Export PNG... (the view as drawn, written whole or not at all).

#include <string>

class QWidget;

inline constexpr const char* kShowAllCaption = "Show &All";
inline constexpr const char* kExportPngCaption = "Export &PNG...";

// Shows `view` in a window of its own owned by `parent`, titled after `path`; returns it.
QWidget* ShowInViewWindow(QWidget* parent, QWidget* view, const std::string& path);

// Writes what `view` shows as a PNG picture at `path`: whole, or nothing under that name.
bool ExportViewPng(QWidget* view, const std::string& path, std::string* error);
