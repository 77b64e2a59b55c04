#include "graph/field_plot.h"

#include <QColor>
#include <algorithm>
#include <string>

#include "graph/display_options.h"
#include "graph/plot_render.h"
#include "graph/trace_palette.h"
#include "measure/measurement.h"

namespace {

QColor ColourOf(TraceColour colour) {
    return QColor(colour.r, colour.g, colour.b);
}

// Each quantity's colour, shared by its trace, legend square, read-out and panel texts.
const QColor kXColour = ColourOf(kXTraceColour);
const QColor kYColour = ColourOf(kYTraceColour);
const QColor kZColour = ColourOf(kZTraceColour);
const QColor kEmfColour = ColourOf(kEmfTraceColour);
const QColor kEfColour = ColourOf(kEfTraceColour);
const QColor kTextColour(0, 0, 0);
constexpr int kTracePenWidth = 2;
constexpr int kCursorPenWidth = 1;
constexpr int kTickReach = 6;  // a tick runs from y - 6 to y + 6
constexpr int kAxisEndX = TrendOrigin + kFieldSamples * SamplePitch;  // 440, "0 sec"

enum class TraceScale { Magnetic, Electric };

struct TraceRow {
    FieldSeries FieldBlockData::*series;
    const QColor* colour;
    TraceScale scale;
};

// The five traces; within each segment DrawTraces takes them as X, Y, Z, EF, EMF.
// clang-format off
constexpr TraceRow kXTrace   = {&FieldBlockData::xSeries,   &kXColour,   TraceScale::Magnetic};
constexpr TraceRow kYTrace   = {&FieldBlockData::ySeries,   &kYColour,   TraceScale::Magnetic};
constexpr TraceRow kZTrace   = {&FieldBlockData::zSeries,   &kZColour,   TraceScale::Magnetic};
constexpr TraceRow kEfTrace  = {&FieldBlockData::efSeries,  &kEfColour,  TraceScale::Electric};
constexpr TraceRow kEmfTrace = {&FieldBlockData::emfSeries, &kEmfColour, TraceScale::Magnetic};
// clang-format on

struct LegendRow {
    const QColor* colour;
    int top;
    const char* label;
    int labelX;
};

constexpr int kLegendLeft = 450;
constexpr int kLegendRight = 465;
constexpr int kLegendSide = 15;

// clang-format off
constexpr LegendRow kLegend[] = {
    {&kXColour,   30, "X=",   470},
    {&kYColour,   50, "Y=",   470},
    {&kZColour,   70, "Z=",   470},
    {&kEmfColour, 90, "EMF=", 468},
};
// clang-format on

struct ReadOutRow {
    FieldSeries FieldBlockData::*series;
    const QColor* colour;
    const char* format;
    int y;
};

constexpr int kReadOutGap = 3;  // pixels between the widest label and the values

// clang-format off
constexpr ReadOutRow kReadOut[] = {
    {&FieldBlockData::xSeries,   &kXColour,   "%.01lf",  30},
    {&FieldBlockData::ySeries,   &kYColour,   "%.01lf",  50},
    {&FieldBlockData::zSeries,   &kZColour,   "%.01lf",  70},
    {&FieldBlockData::emfSeries, &kEmfColour, "%.01lf",  90},
    {&FieldBlockData::efSeries,  &kEfColour,  "%.0lf",  195},
};
// clang-format on

// The EF panel sits below the upper axis line by these offsets.
constexpr int kEfTitleY = UpperAxisY + 12;
constexpr int kEfMaxLabelY = UpperAxisY + 30;
constexpr int kEfMaxY = UpperAxisY + 45;
constexpr int kEfUnitY = UpperAxisY + 50;
constexpr int kEfReadOutLabelY = UpperAxisY + 70;
constexpr int kEfMinLabelY = UpperAxisY + 90;
constexpr int kEfMinY = UpperAxisY + 105;

constexpr int kPanelLabelX = 2;
constexpr int kEfLabelX = 460;
constexpr const char* kEfLabel = "EF=";
constexpr int kPanelValueX = 5;

struct TrendScales {
    TrendScale magnetic;
    TrendScale electric;
};

int TraceY(const FieldBlockData& block, const TraceRow& trace, int sample,
           const TrendScales& scales) {
    const float value = (block.*trace.series)[sample];
    return trace.scale == TraceScale::Magnetic ? MagneticY(value, scales.magnetic)
                                               : EfY(value, scales.electric);
}

void DrawSegment(COffscreenDC& dc, const FieldBlockData& block, const TraceRow& trace, int s,
                 const TrendScales& scales) {
    dc.SelectPen(*trace.colour, kTracePenWidth);
    dc.MoveTo(SampleX(s), TraceY(block, trace, s, scales));
    dc.LineTo(SampleX(s + 1), TraceY(block, trace, s + 1, scales));
}

void TextIn(COffscreenDC& dc, const QColor& colour, int x, int y, const std::string& text) {
    dc.SetTextColor(colour);
    dc.TextOut(x, y, text);
}

void DrawEmfPanel(COffscreenDC& dc, const FieldBlockData& block) {
    const SeriesExtremes emf = EmfExtremes(block.emfSeries);
    dc.SetTextColor(kTextColour);
    dc.TextOut(kPanelLabelX, 2, "EMF");
    dc.TextOut(kPanelLabelX, 20, "EMF Max:");
    dc.TextOut(kPanelValueX, 35, FormatText("%.03lf mG", emf.maximum));
    dc.TextOut(kPanelLabelX, 80, "Min:");
    dc.TextOut(kPanelValueX, 95, FormatText("%.03lf mG", emf.minimum));
}

void DrawTickMarks(COffscreenDC& dc) {
    dc.SelectPen(kTrendAxisColour, kTrendAxisPenWidth);
    for (int y : {UpperAxisY, LowerAxisY}) {
        for (int x : {TrendOrigin, kAxisEndX}) {
            dc.MoveTo(x, y - kTickReach);
            dc.LineTo(x, y + kTickReach);
        }
    }
}

// Two pixels right of and below the lower axis's end ticks.
void DrawTimeLabels(COffscreenDC& dc) {
    dc.SetTextColor(kTextColour);
    dc.TextOut(TrendOrigin + 2, LowerAxisY + 2, "60 sec ago");
    dc.TextOut(kAxisEndX + 2, LowerAxisY + 2, "0 sec");
}

void DrawLegend(COffscreenDC& dc) {
    for (const LegendRow& row : kLegend)
        dc.FillRect(kLegendLeft, row.top, kLegendRight, row.top + kLegendSide, *row.colour);
    for (const LegendRow& row : kLegend)
        TextIn(dc, *row.colour, row.labelX, row.top, row.label);
    TextIn(dc, kTextColour, 460, 10, "(milliGauss)");
}

// The values stand in one column just right of the widest label ("EMF=", "EF="), so none
// covers a label's "=".
int ReadOutX(const COffscreenDC& dc) {
    int right = kEfLabelX + dc.TextWidth(kEfLabel);
    for (const LegendRow& row : kLegend)
        right = std::max(right, row.labelX + dc.TextWidth(row.label));
    return right + kReadOutGap;
}

// Nothing while the cursor is off the 60-second span.
void DrawTimeCursor(COffscreenDC& dc, const PlotContext& plot) {
    const int k = TrendCursorSample(plot.cursor.CursorPoint.x);
    if (k == 0) return;
    const int x = TrendCursorX(k);
    dc.SelectPen(kTextColour, kCursorPenWidth);
    dc.MoveTo(x, 0);
    dc.LineTo(x, plot.height);
    const GraphPoint label = TrendCursorLabelPosition(k);
    TextIn(dc, kTextColour, label.x, label.y, FormatText("%d sec", k - kFieldSamples));
    const int sample = k - 1;
    const int valuesX = ReadOutX(dc);
    for (const ReadOutRow& row : kReadOut)
        TextIn(dc, *row.colour, valuesX, row.y,
               FormatText(row.format, (plot.shown.measurement.field.*row.series)[sample]));
}

void DrawEfPanel(COffscreenDC& dc, SeriesExtremes ef) {
    dc.SetTextColor(kEfColour);
    dc.TextOut(kPanelLabelX, kEfTitleY, "EF");
    dc.TextOut(kPanelLabelX, kEfMaxLabelY, "EMF Max:");
    dc.TextOut(kPanelValueX, kEfMaxY, FormatText("%.03lf Vm", ef.maximum));
    dc.TextOut(kPanelLabelX, kEfMinLabelY, "Min:");
    dc.TextOut(kPanelValueX, kEfMinY, FormatText("%.03lf Vm", ef.minimum));
    dc.TextOut(456, kEfUnitY, "(Volts/meter)");
    dc.TextOut(kEfLabelX, kEfReadOutLabelY, kEfLabel);
}

}  // namespace

void FieldTrendPainter::DrawTraces(COffscreenDC& dc, const PlotContext& plot) {
    const FieldBlockData& block = plot.shown.measurement.field;
    const DisplayOptions& options = plot.options;
    const MagneticTraces shown{options.ShowX != 0, options.ShowY != 0, options.ShowZ != 0,
                               options.ShowEmf != 0};
    const TrendScales scales{MagneticScaleFor(block, shown), EfScaleFor(block.efSeries)};
    efExtremes = EfExtremes(block.efSeries);
    for (int s = 0; s < kFieldSamples - 1; ++s) {
        if (shown.x) DrawSegment(dc, block, kXTrace, s, scales);
        if (shown.y) DrawSegment(dc, block, kYTrace, s, scales);
        if (shown.z) DrawSegment(dc, block, kZTrace, s, scales);
        DrawSegment(dc, block, kEfTrace, s, scales);
        if (shown.emf) DrawSegment(dc, block, kEmfTrace, s, scales);
    }
}

void FieldTrendPainter::DrawAnnotations(COffscreenDC& dc, const PlotContext& plot) {
    DrawEmfPanel(dc, plot.shown.measurement.field);
    DrawTickMarks(dc);
    DrawTimeLabels(dc);
    DrawLegend(dc);
    DrawTimeCursor(dc, plot);
    DrawEfPanel(dc, efExtremes);
}
