#pragma once
// The plot-specific steps of a redraw, apart from the widget that shows them, so a program
// that only draws pictures (the plot helper, the benchmarks) needs no widget library.

#include "graph/display_options.h"
#include "graph/offscreen_dc.h"
#include "graph/plot_geometry.h"
#include "measure/measurement.h"

// What a graph shows: a reading and the search threshold (dBm) its spectrum is drawn against.
// The window that shows it owns it; the graph only reads it, on the user-interface thread.
struct PlotReading {
    Measurement measurement;
    int threshold = kFloorDbm;
};

// What a painter gets besides the image: the image's size (W and H of imageRect), the
// cursor, the reading on show and the display options.
struct PlotContext {
    int width;
    int height;
    const CursorState& cursor;
    const PlotReading& shown;
    const DisplayOptions& options;
};

// The plot-specific steps of a redraw. DrawTraces runs before DrawAnnotations on the same
// image, so statistics it works out may be kept for the texts of the same redraw.
class PlotPainter {
  public:
    virtual ~PlotPainter() = default;
    virtual void DrawTraces(COffscreenDC& dc, const PlotContext& plot) = 0;
    virtual void DrawAnnotations(COffscreenDC& dc, const PlotContext& plot) = 0;
};
