#pragma once
// The RF spectrum on the graph window (a reading of non-zero kind): the 128 levels of its
// spectrum record as bars and/or a line over a 180-pixel scale, the search threshold as a
// dashed line, the sweep's statistics, the band's edges and the red crosshair with the
// frequency and level of the bin under it. Reads the context's reading, threshold, ShowBar,
// ShowLine and ShowPower at each redraw. User-interface thread only.

#include "graph/plot_geometry.h"
#include "graph/plot_painter.h"

class SpectrumPlotPainter final : public PlotPainter {
  public:
    // Works out the statistics and the scale, then draws the bars, the line and the
    // threshold line with its label.
    void DrawTraces(COffscreenDC& dc, const PlotContext& plot) override;
    // The texts, the crosshair and its read-out, from the statistics of the last DrawTraces.
    void DrawAnnotations(COffscreenDC& dc, const PlotContext& plot) override;

    // Statistics of the last DrawTraces, dBm. The minimum is the threshold when that lies
    // below every level; the average is the sum over 128 truncated toward zero.
    int SpectrumMaximum() const { return statistics.maximum; }
    int SpectrumMinimum() const { return statistics.minimum; }
    int SpectrumAverage() const { return statistics.average; }

  private:
    SpectrumStats statistics{kFloorDbm, kFloorDbm, kFloorDbm};
};
