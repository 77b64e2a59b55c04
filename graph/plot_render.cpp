#include "graph/plot_render.h"

#include <QColor>
#include <memory>

#include "graph/field_plot.h"
#include "graph/plot_geometry.h"
#include "graph/spectrum_plot.h"
#include "measure/measurement.h"

namespace {

const QColor kPaper(255, 255, 255);
const QColor kGridColour(200, 200, 200);
const QColor kBaselineColour(155, 100, 100);
constexpr int kGridPenWidth = 1;
constexpr int kBaselinePenWidth = 2;

void DrawFullWidthLine(COffscreenDC& dc, int y) {
    dc.MoveTo(0, y);
    dc.LineTo(dc.Width(), y);
}

void DrawPlot(COffscreenDC& dc, PlotPainter& painter, const PlotContext& plot) {
    painter.DrawTraces(dc, plot);
    painter.DrawAnnotations(dc, plot);
}

}  // namespace

void DrawGraphGrid(COffscreenDC& dc, uint8_t kind) {
    const int width = dc.Width();
    const int height = dc.Height();
    dc.SelectPen(kGridColour, kGridPenWidth);
    for (int d = 0; d < width; d += kGridStep) {
        dc.MoveTo(d, 0);
        dc.LineTo(d, height);
        if (d < height) DrawFullWidthLine(dc, d);
    }
    if (kind != kKindField) {
        dc.SelectPen(kBaselineColour, kBaselinePenWidth);
        DrawFullWidthLine(dc, kSpectrumBaseY);
    } else {
        dc.SelectPen(kTrendAxisColour, kTrendAxisPenWidth);
        DrawFullWidthLine(dc, UpperAxisY);
        DrawFullWidthLine(dc, LowerAxisY);
    }
}

QImage RenderMeasurementImage(const PlotReading& shown, const DisplayOptions& options,
                              const CursorState& cursor, int width, int height) {
    const std::unique_ptr<COffscreenDC> dc = COffscreenDC::Create(width, height, kPaper);
    if (!dc) return QImage();
    const uint8_t kind = shown.measurement.kind;
    DrawGraphGrid(*dc, kind);
    const PlotContext plot{dc->Width(), dc->Height(), cursor, shown, options};
    if (kind != kKindField) {
        SpectrumPlotPainter painter;
        DrawPlot(*dc, painter, plot);
    } else {
        FieldTrendPainter painter;
        DrawPlot(*dc, painter, plot);
    }
    return dc->Image().copy();  // the pixels outlive the image they were drawn in
}
