#pragma once
// The graph's picture without a window: the grid the graph window draws under every plot,
// and a whole redraw of the current measurement into a fresh image, for exporting it.
// Needs a QGuiApplication (for the font); user-interface thread only.

#include <QColor>
#include <QImage>
#include <cstdint>

#include "graph/offscreen_dc.h"
#include "graph/plot_painter.h"

// A 546 x 281 image is what the graph window's 545 x 280 client area gets.
inline constexpr int kGraphImageWidth = 546;
inline constexpr int kGraphImageHeight = 281;

// The field trend's axis pen, for its two axis lines and their tick marks.
inline const QColor kTrendAxisColour(125, 125, 125);
inline constexpr int kTrendAxisPenWidth = 4;

// 20-pixel grey squares from the top-left corner over the whole image, then the spectrum's
// baseline (any non-zero kind) or the field trend's two axis lines (kind 0).
void DrawGraphGrid(COffscreenDC& dc, uint8_t kind);

// Grid, traces and annotations of the plot of `shown`'s kind, drawn from it, the display
// options and the cursor as the graph window's own painters draw them. A null image when
// the size is empty or the pixels cannot be had.
QImage RenderMeasurementImage(const PlotReading& shown, const DisplayOptions& options = {},
                              const CursorState& cursor = {}, int width = kGraphImageWidth,
                              int height = kGraphImageHeight);
