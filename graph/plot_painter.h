#pragma once
// The plot-specific steps of a redraw, apart from the widget that shows them, so a program
// that only draws pictures (the plot helper, the benchmarks) needs no widget library.

#include "graph/offscreen_dc.h"
#include "graph/plot_geometry.h"

// What a painter gets besides the image: the image's size (W and H of imageRect) and the
// cursor. The plot data and display options are the process-wide measurement state.
struct PlotContext {
    int width;
    int height;
    const CursorState& cursor;
};

// The plot-specific steps of a redraw. DrawTraces runs before DrawAnnotations on the same
// image, so statistics it works out may be kept for the texts of the same redraw.
class PlotPainter {
  public:
    virtual ~PlotPainter() = default;
    virtual void DrawTraces(COffscreenDC& dc, const PlotContext& plot) = 0;
    virtual void DrawAnnotations(COffscreenDC& dc, const PlotContext& plot) = 0;
};
