#include "graph/spectrum_plot.h"

#include <QColor>

#include "graph/display_options.h"
#include "graph/trace_palette.h"
#include "measure/measurement.h"

namespace {

const QColor kTraceColour(kSpectrumTraceColour.r, kSpectrumTraceColour.g, kSpectrumTraceColour.b);
const QColor kThresholdColour(50, 50, 50);
const QColor kCrosshairColour(255, 0, 0);
constexpr int kTracePenWidth = 2;
constexpr int kThinPenWidth = 1;
constexpr int kCrosshairLeft = 4;

void TextAt(COffscreenDC& dc, GraphPoint at, const std::string& text) {
    dc.TextOut(at.x, at.y, text);
}

void DrawBars(COffscreenDC& dc, const SpectrumLevels& dbm, const SpectrumScale& scale) {
    for (int i = 0; i < kSpectrumBins; ++i) {
        dc.MoveTo(BinX(i), kSpectrumBaseY);
        dc.LineTo(BinX(i), LevelY(dbm[i], scale));
    }
}

void DrawLine(COffscreenDC& dc, const SpectrumLevels& dbm, const SpectrumScale& scale) {
    dc.MoveTo(BinX(0), LevelY(dbm[0], scale));
    for (int i = 1; i < kSpectrumBins; ++i)
        dc.LineTo(BinX(i), LevelY(dbm[i], scale));
}

void DrawThreshold(COffscreenDC& dc, const SpectrumLevels& dbm, int threshold,
                   const SpectrumScale& scale, bool power) {
    dc.SelectPen(kThresholdColour, kThinPenWidth, Qt::DashLine);
    if (!ThresholdLineShown(threshold, scale)) return;
    const int y = LevelY(threshold, scale);
    dc.MoveTo(kThresholdLineStartX, y);
    dc.LineTo(kThresholdLineEndX, y);
    const std::string label = ThresholdLabelText(threshold, power);
    TextAt(dc, ThresholdLabelPosition(threshold, scale, dbm, dc.TextWidth(label)), label);
}

void DrawCrosshair(COffscreenDC& dc, const PlotContext& plot) {
    const int row = plot.cursor.CursorRow;
    const int column = BinPitch * plot.cursor.CursorBin;
    dc.SelectPen(kCrosshairColour, kThinPenWidth);
    dc.MoveTo(kCrosshairLeft, row);
    dc.LineTo(plot.width, row);
    dc.MoveTo(column, kHeaderBottom);
    dc.LineTo(column, plot.height);
}

// Only while the crosshair stands on a bin.
void DrawCursorReadOut(COffscreenDC& dc, const PlotContext& plot) {
    const CursorState& cursor = plot.cursor;
    const SpectrumRecordData& record = plot.shown.measurement.spectrum;
    if (!CursorOnBin(cursor.CursorBin)) return;
    const int bin = CursorBinIndex(cursor.CursorBin);
    TextAt(dc, CursorFrequencyPosition(cursor.CursorBin, cursor.CursorRow),
           CursorFrequencyText(record, bin));
    TextAt(dc, CursorLevelPosition(cursor.CursorBin, cursor.CursorRow),
           CursorLevelText(record.dbm[bin], plot.options.ShowPower));
}

void DrawBandEdges(COffscreenDC& dc, int width, const SpectrumRecordData& record) {
    TextAt(dc, kBandStartPosition, BandStartLabel(record));
    TextAt(dc, {width - kBandStopInset, kBandStartPosition.y}, BandStopLabel(record));
}

}  // namespace

void SpectrumPlotPainter::DrawTraces(COffscreenDC& dc, const PlotContext& plot) {
    const SpectrumLevels& dbm = plot.shown.measurement.spectrum.dbm;
    const int threshold = plot.shown.threshold;
    statistics = MeasureSpectrum(dbm);
    const SpectrumScale scale = ScaleSpectrum(statistics, threshold);
    statistics.minimum = scale.minimum;  // a threshold below every level reads as the minimum

    dc.SelectPen(kTraceColour, kTracePenWidth);
    if (plot.options.ShowBar) DrawBars(dc, dbm, scale);
    if (plot.options.ShowLine) DrawLine(dc, dbm, scale);
    DrawThreshold(dc, dbm, threshold, scale, plot.options.ShowPower);
}

void SpectrumPlotPainter::DrawAnnotations(COffscreenDC& dc, const PlotContext& plot) {
    DrawCrosshair(dc, plot);
    const SpectrumRecordData& record = plot.shown.measurement.spectrum;
    const bool power = plot.options.ShowPower;
    DrawCursorReadOut(dc, plot);
    DrawBandEdges(dc, plot.width, record);
    TextAt(dc, kMinimumPosition, MinimumText(statistics.minimum, power));
    // Last, so a crosshair row among them passes behind their cells rather than through them.
    TextAt(dc, kAveragePosition, AverageText(statistics.average, power));
    TextAt(dc, kMaximumPosition, MaximumText(statistics.maximum, power));
    TextAt(dc, kSpacingPosition, ChannelSpacingText(record));
    TextAt(dc, kBandwidthPosition, ChannelBandwidthText(record));
}
