#pragma once
// The 60-second field trend on the graph window (a reading of kind 0): the magnetic traces X,
// Y, Z and EMF (mG) above the upper axis and the EF trace (V/m) above the lower one, each
// with its own automatic scale, the time axis, the legend, the extremes of EMF and EF, and
// the time cursor with the five values of its second. Reads the context's field block, ShowX,
// ShowY, ShowZ and ShowEmf at each redraw. User-interface thread only.

#include "graph/plot_geometry.h"
#include "graph/plot_painter.h"

class FieldTrendPainter final : public PlotPainter {
  public:
    // Works out both scales and EfMaximum/EfMinimum, then draws the traces segment by
    // segment: X, Y, Z (those switched on), EF (always), EMF (when switched on), so a later
    // quantity covers an earlier one where they cross.
    void DrawTraces(COffscreenDC& dc, const PlotContext& plot) override;
    // The EMF panel, tick marks, time labels, legend, time cursor with its read-out and
    // the EF panel, in that order.
    void DrawAnnotations(COffscreenDC& dc, const PlotContext& plot) override;

    // Extremes of efSeries found by the last DrawTraces, V/m.
    float EfMaximum() const { return efExtremes.maximum; }
    float EfMinimum() const { return efExtremes.minimum; }

  private:
    SeriesExtremes efExtremes{0.0f, 0.0f};
};
