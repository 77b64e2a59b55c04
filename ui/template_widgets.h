#pragma once
// Builds a dialog's controls from its template: one widget per row, placed at its dialog-unit
// rectangle converted to pixels, keyed by control id.

#include <QWidget>
#include <functional>
#include <map>

#include "res/dialog_template.h"

QRect DialogRectToPixels(int x, int y, int width, int height);
QSize DialogSizeToPixels(const DialogTemplate& dialog);

// Texts come from resource scripts with "\r\n" line ends; widgets want "\n".
QString ResourceText(const char* text);

// Makes the widget for a row; return nullptr to let the default factory make it.
using ControlFactory = std::function<QWidget*(const ControlTemplate&, QWidget* parent)>;

// Creates every control of the template as a child of parent. Rows without an id are
// created too (labels, group boxes) but not entered in the map.
std::map<int, QWidget*> BuildControls(const DialogTemplate& dialog, QWidget* parent,
                                      const ControlFactory& special = nullptr);

// The dialogs' font: the 8-point dialog font at 96 dpi.
QFont DialogFont();
