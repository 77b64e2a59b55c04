#include "graph/long_term_plot.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cmath>
#include <string>

#include "graph/axis_ticks.h"
#include "graph/trace_palette.h"

namespace {

constexpr int kLeftMargin = 64;
constexpr int kRightMargin = 12;
constexpr int kTopMargin = 8;
constexpr int kBottomMargin = 24;
constexpr int kLegendWidth = 80;   // the waterfall's colour bar and its levels
constexpr int kWaterfallTop = 22;  // the frequencies above the waterfall
constexpr int kPanelGap = 6;
constexpr int kCaptionTop = 2;    // the caption's gap below the panel's top edge
constexpr int kReadOutGap = 4;    // between the pointer's line and its read-out
constexpr int kTickSpacing = 90;  // pixels at least between time labels
constexpr int kFontPixels = 11;
constexpr int kValueTickSpacing = 16;  // pixels at least between value labels (13 high)
constexpr int kMostValueTicks = 6;
const QColor kBackground(255, 255, 255);
const QColor kFrame(120, 120, 120);
const QColor kGrid(225, 225, 225);
const QColor kText(0, 0, 0);
const QColor kEmptyCell(240, 240, 240);

// clang-format off
struct TraceStyle { const char* name; const char* caption; const char* unit; };
constexpr TraceStyle kTraceStyles[] = {
    {"emf_mg",    "EMF", "mG"},
    {"x_mg",      "X",   "mG"},
    {"y_mg",      "Y",   "mG"},
    {"z_mg",      "Z",   "mG"},
    {"ef_vm",     "EF",  "V/m"},
    {"rf_pw_cm2", "RF",  "pW/cm²"},
};
// clang-format on

const TraceStyle& StyleOf(const std::string& name) {
    for (const TraceStyle& style : kTraceStyles)
        if (name == style.name) return style;
    return kTraceStyles[0];
}

QColor ColourOf(TraceColour colour) {
    return QColor(colour.r, colour.g, colour.b);
}

QFont PlotFont() {
    QFont font;
    font.setPixelSize(kFontPixels);
    return font;
}

// EMF first, as people read it; then the axes and the rest in file order.
std::vector<int> DefaultTraces(const TimeSeries& series) {
    std::vector<int> traces;
    for (const TraceStyle& style : kTraceStyles)
        if (int column = series.Column(style.name); column >= 0) traces.push_back(column);
    return traces;
}

QString Number(double value) {
    return QString::fromStdString(ReadingText(value));
}

QString Label(const std::string& text) {
    return QString::fromStdString(text);
}

void DrawTimeAxis(QPainter& painter, const QRect& area, int64_t t0, int64_t t1, int top,
                  ClockTimes clock) {
    const QFontMetrics metrics(painter.font());
    const int pictureWidth = painter.device()->width();
    for (const TimeTick& tick : ClockTicks(t0, t1, area.width(), kTickSpacing, clock)) {
        const int x = XOfTime(area, t0, t1, tick.time);
        painter.setPen(kGrid);
        painter.drawLine(x, top, x, area.bottom());
        painter.setPen(kText);
        const QString label = QString::fromStdString(tick.label);
        const int width = metrics.horizontalAdvance(label) + 1;
        painter.drawText(QRect(LabelLeft(x, width, pictureWidth), area.bottom() + 4, width, 16),
                         Qt::AlignLeft | Qt::AlignTop, label);
    }
}

int YOf(const QRect& panel, double value, const AxisRange& axis) {
    const double fraction = std::clamp((value - axis.lo) / (axis.hi - axis.lo), 0.0, 1.0);
    return panel.bottom() - static_cast<int>(std::lround(fraction * (panel.height() - 1)));
}

// The panel's value axis: from 0 (or a lower reading) to a round value above the highest.
AxisRange PanelAxis(const SpanFigures& figures, int panelHeight, AxisUnit unit) {
    const int most = std::clamp(panelHeight / kValueTickSpacing, 2, kMostValueTicks);
    if (figures.count == 0) return RoundRange(0.0, 1.0, most, unit);
    return RoundRange(std::min(0.0, static_cast<double>(figures.min)), figures.max, most, unit);
}

// A grid line and a label in the left margin per tick, each label kept inside its panel.
void DrawValueAxis(QPainter& painter, const QRect& panel, const AxisRange& axis, AxisUnit unit) {
    const int lineHeight = painter.fontMetrics().height();
    for (int k = 0; axis.lo + k * axis.step <= axis.hi + axis.step / 2; ++k) {
        const double value = axis.lo + k * axis.step;
        const int y = YOf(panel, value, axis);
        painter.setPen(kGrid);
        painter.drawLine(panel.left() + 1, y, panel.right() - 1, y);
        painter.setPen(kText);
        const int top =
            std::clamp(y - lineHeight / 2, panel.top(), panel.bottom() - lineHeight + 1);
        painter.drawText(QRect(0, top, kLeftMargin - 4, lineHeight),
                         Qt::AlignRight | Qt::AlignVCenter,
                         Label(AxisLabel(value, axis.step, unit)));
    }
}

void DrawTrace(QPainter& painter, const QRect& panel, const std::vector<PixelColumn>& columns,
               const AxisRange& axis, QColor colour) {
    painter.setPen(colour);
    for (std::size_t x = 0; x < columns.size(); ++x) {
        const PixelColumn& column = columns[x];
        if (!column.any) continue;
        const int px = panel.left() + static_cast<int>(x);
        if (column.joined) {
            const PixelColumn& from = columns[static_cast<std::size_t>(column.previous)];
            painter.drawLine(panel.left() + column.previous, YOf(panel, from.last, axis), px,
                             YOf(panel, column.first, axis));
        }
        painter.drawLine(px, YOf(panel, column.min, axis), px, YOf(panel, column.max, axis));
    }
}

QString FiguresText(const TraceStyle& style, const SpanFigures& figures) {
    QString text = QString::fromUtf8(style.caption) + " (" + QString::fromUtf8(style.unit) + ")";
    if (figures.count == 0) return text + "  no readings";
    return text + "  min " + Number(figures.min) + "  max " + Number(figures.max) + "  avg " +
           Number(figures.mean);
}

void DrawPanel(QPainter& painter, const QRect& panel, const TimeSeries& series, int column,
               int64_t t0, int64_t t1) {
    const std::string& name = series.names[static_cast<std::size_t>(column)];
    const TraceStyle& style = StyleOf(name);
    const AxisUnit unit = UnitOfColumn(name);
    const SpanFigures figures = FiguresOf(series, column, t0, t1);
    const AxisRange axis = PanelAxis(figures, panel.height(), unit);
    DrawValueAxis(painter, panel, axis, unit);
    painter.setPen(kFrame);
    painter.drawRect(panel.adjusted(0, 0, -1, -1));
    DrawTrace(painter, panel, DecimateToColumns(series, column, t0, t1, panel.width()), axis,
              ColourOf(TraceColourOfColumn(name)));
    painter.setPen(kText);
    painter.drawText(panel.adjusted(4, kCaptionTop, -4, 0), Qt::AlignLeft | Qt::AlignTop,
                     FiguresText(style, figures));
}

QImage BlankImage(int width, int height) {
    if (width <= 0 || height <= 0) return {};
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return image;
    image.fill(kBackground);
    return image;
}

}  // namespace

QRect TrendPlotArea(int width, int height) {
    return QRect(kLeftMargin, kTopMargin, std::max(1, width - kLeftMargin - kRightMargin),
                 std::max(1, height - kTopMargin - kBottomMargin));
}

QRect WaterfallPlotArea(int width, int height) {
    return QRect(kLeftMargin, kWaterfallTop,
                 std::max(1, width - kLeftMargin - kRightMargin - kLegendWidth),
                 std::max(1, height - kWaterfallTop - kTopMargin));
}

namespace {

QRect PanelRect(const QRect& area, int index, int count) {
    const int height = (area.height() - kPanelGap * (count - 1)) / count;
    return QRect(area.left(), area.top() + index * (height + kPanelGap), area.width(), height);
}

}  // namespace

int TrendPanelAt(const QRect& area, int traceCount, int y) {
    for (int i = 0; i < traceCount; ++i) {
        const QRect panel = PanelRect(area, i, traceCount);
        if (y >= panel.top() && y <= panel.bottom()) return i;
    }
    return -1;
}

int TrendPanelCount(const TimeSeries& series) {
    return static_cast<int>(DefaultTraces(series).size());
}

int TrendCaptionHeight() {
    return kCaptionTop + QFontMetrics(PlotFont()).height();
}

QRect TrendReadOutRect(const QRect& area, int traceCount, QSize box, QPoint pointer) {
    int left = pointer.x() + kReadOutGap;
    if (left + box.width() > area.right() + 1) left = pointer.x() - kReadOutGap - box.width();
    left = std::clamp(left, area.left(), std::max(area.left(), area.right() + 1 - box.width()));
    const int index = std::max(0, TrendPanelAt(area, traceCount, pointer.y()));
    const QRect panel = traceCount > 0 ? PanelRect(area, index, traceCount) : area;
    // Centred on the pointer where the panel leaves room, else just under the caption.
    const int highest = panel.top() + TrendCaptionHeight();
    const int lowest = std::max(highest, panel.bottom() + 1 - box.height());
    int top = std::clamp(pointer.y() - box.height() / 2, highest, lowest);
    top = std::clamp(top, area.top(), std::max(area.top(), area.bottom() + 1 - box.height()));
    return QRect(QPoint(left, top), box);
}

int64_t TimeAtX(const QRect& area, int64_t t0, int64_t t1, int x) {
    const double fraction = static_cast<double>(x - area.left()) / std::max(1, area.width());
    return t0 + static_cast<int64_t>(std::llround(fraction * static_cast<double>(t1 - t0)));
}

int XOfTime(const QRect& area, int64_t t0, int64_t t1, int64_t time) {
    if (t1 <= t0) return area.left();
    const double fraction = static_cast<double>(time - t0) / static_cast<double>(t1 - t0);
    return area.left() + static_cast<int>(std::floor(fraction * area.width()));
}

QImage RenderTrendImage(const TimeSeries& series, int64_t t0, int64_t t1, int width, int height,
                        const std::vector<int>& traces) {
    QImage image = BlankImage(width, height);
    if (image.isNull() || t1 <= t0) return {};
    const std::vector<int> shown = traces.empty() ? DefaultTraces(series) : traces;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setFont(PlotFont());
    const QRect area = TrendPlotArea(width, height);
    DrawTimeAxis(painter, area, t0, t1, area.top(), series.clock);
    const int count = static_cast<int>(shown.size());
    for (int i = 0; i < count; ++i)
        DrawPanel(painter, PanelRect(area, i, count), series, shown[static_cast<std::size_t>(i)],
                  t0, t1);
    return image;
}

namespace {

constexpr int kFrequencyLabelSpacing = 110;  // pixels at least between frequency labels
constexpr int kLevelLabelSpacing = 28;

// Round frequencies across the top, each above the place it falls among the bins; the bins'
// own frequencies every 32 bins when they do not ascend.
void DrawFrequencies(QPainter& painter, const QRect& area, const SpectrumRow& row) {
    const std::vector<uint32_t> hz(row.frequencyHz.begin(), row.frequencyHz.end());
    const QFontMetrics metrics(painter.font());
    const int pictureWidth = painter.device()->width();
    painter.setPen(kText);
    auto label = [&](double bin, const std::string& text) {
        const int x = area.left() + static_cast<int>(bin * area.width() / kSpectrumBins);
        const int width = metrics.horizontalAdvance(Label(text)) + 1;
        painter.drawLine(x, area.top() - 4, x, area.top() - 1);
        painter.drawText(QRect(LabelLeft(x, width, pictureWidth), 2, width, 16), Qt::AlignLeft,
                         Label(text));
    };
    if (BinPositionOf(hz, hz.front()) < 0) {
        constexpr int kLabelEvery = 32;
        for (int bin = 0; bin < kSpectrumBins; bin += kLabelEvery)
            label(bin, AxisLabel(hz[bin] / 1e6, 0.001, AxisUnit::Megahertz));
        return;
    }
    const int most = std::max(2, area.width() / kFrequencyLabelSpacing);
    for (const AxisTick& tick :
         RoundTicks(hz.front() / 1e6, hz.back() / 1e6, most, AxisUnit::Megahertz))
        label(BinPositionOf(hz, tick.value * 1e6), tick.label);
}

void DrawLegend(QPainter& painter, const QRect& area, int weakest, int strongest) {
    const QRect bar = LevelColourBarBeside(area);
    DrawLevelColourBar(painter, bar);
    painter.setPen(kText);
    const int most = std::max(2, bar.height() / kLevelLabelSpacing);
    for (const AxisTick& tick : RoundTicks(weakest, strongest, most, AxisUnit::Dbm)) {
        const double fraction = (tick.value - weakest) / std::max(1, strongest - weakest);
        const int y = bar.bottom() - static_cast<int>(std::lround(fraction * (bar.height() - 1)));
        const int top = std::clamp(y - 7, bar.top(), bar.bottom() - 13);
        painter.drawText(QRect(bar.right() + 4, top, 60, 14), Qt::AlignLeft | Qt::AlignVCenter,
                         Label(tick.label));
    }
}

void DrawTimeLabels(QPainter& painter, const QRect& area, int64_t t0, int64_t t1,
                    ClockTimes clock) {
    painter.setPen(kText);
    for (const TimeTick& tick : ClockTicks(t0, t1, area.height(), kTickSpacing / 2, clock)) {
        const int y = area.top() + static_cast<int>((tick.time - t0) * area.height() / (t1 - t0));
        painter.drawText(QRect(0, y - 7, kLeftMargin - 4, 14), Qt::AlignRight, Label(tick.label));
    }
}

}  // namespace

QImage RenderWaterfallImage(const SpectrumSeries& series, int64_t t0, int64_t t1, int width,
                            int height) {
    QImage image = BlankImage(width, height);
    if (image.isNull() || t1 <= t0) return {};
    const QRect area = WaterfallPlotArea(width, height);
    const std::vector<int16_t> cells = WaterfallCells(series, t0, t1, area.width(), area.height());
    int weakest = 0;
    int strongest = kFloorDbm;
    for (int16_t cell : cells)
        if (cell != kNoSweep) {
            weakest = std::min<int>(weakest, cell);
            strongest = std::max<int>(strongest, cell);
        }
    for (int y = 0; y < area.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(area.top() + y));
        for (int x = 0; x < area.width(); ++x) {
            const int16_t cell = cells[static_cast<std::size_t>(y) * area.width() + x];
            const Rgb colour = ViridisColour(LevelFraction(cell, weakest, strongest));
            line[area.left() + x] =
                cell == kNoSweep ? kEmptyCell.rgb() : qRgb(colour.r, colour.g, colour.b);
        }
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setFont(PlotFont());
    if (!series.rows.empty()) DrawFrequencies(painter, area, series.rows.back());
    DrawLegend(painter, area, weakest, std::max(strongest, weakest + 1));
    DrawTimeLabels(painter, area, t0, t1, ClockTimes::Local);
    return image;
}

QRect LevelColourBarBeside(const QRect& area) {
    return QRect(area.right() + 14, area.top(), 16, area.height());
}

void DrawLevelColourBar(QPainter& painter, const QRect& bar) {
    for (int y = 0; y < bar.height(); ++y) {
        const Rgb colour =
            ViridisColour(1.0 - static_cast<double>(y) / std::max(1, bar.height() - 1));
        painter.setPen(QColor(colour.r, colour.g, colour.b));
        painter.drawLine(bar.left(), bar.top() + y, bar.right(), bar.top() + y);
    }
}
