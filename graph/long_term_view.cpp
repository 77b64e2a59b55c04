#include "graph/long_term_view.h"

#include <QBuffer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "graph/axis_ticks.h"
#include "graph/long_term_plot.h"
#include "graph/trace_palette.h"
#include "graph/view_span.h"
#include "measure/whole_file.h"
#include "record/long_term.h"

namespace {

constexpr int64_t kShortestSpan = 10;   // seconds
constexpr double kZoomPerNotch = 1.25;  // one wheel notch
constexpr double kZoomPerKey = 2.0;     // one press of + or -
constexpr double kPanPerKey = 0.25;     // of the span, one press of an arrow key
constexpr int kWheelNotch = 120;
constexpr int kClickSlop = 3;          // pixels a click may wander before it pans
constexpr int kMarkerLineHeight = 18;  // the markers' read-out, under the plot
constexpr int kOverviewHeight = 36;
constexpr int kOverviewBottomGap = 4;
constexpr const char* kNoSource = "---";  // the history's "no source found"
const QColor kMarkerAColour(220, 120, 0);
const QColor kMarkerBColour(140, 0, 200);
const QColor kReadOutPaper(255, 255, 220);
const QColor kOverviewFrame(120, 120, 120);
const QColor kVisibleSpan(0, 90, 200);

// clang-format off
struct Caption { const char* name; const char* text; const char* unit; };
constexpr Caption kCaptions[] = {
    {"emf_mg", "EMF", "mG"}, {"x_mg", "X", "mG"}, {"y_mg", "Y", "mG"}, {"z_mg", "Z", "mG"},
    {"ef_vm", "EF", "V/m"}, {"rf_pw_cm2", "RF", "pW/cm²"},
};
// clang-format on

QColor ColourOfTrace(const std::string& column) {
    const TraceColour colour = TraceColourOfColumn(column);
    return QColor(colour.r, colour.g, colour.b);
}

QString Reading(double value) {
    return QString::fromStdString(ReadingText(value));
}

QString ValuesText(const TimeSeries& series, std::size_t row) {
    QString text;
    for (const Caption& caption : kCaptions)
        if (int c = series.Column(caption.name); c >= 0)
            text += QStringLiteral("  %1 %2 %3")
                        .arg(QString::fromUtf8(caption.text), Reading(series.columns[c][row]),
                             QString::fromUtf8(caption.unit));
    return text;
}

QString RowText(const TimeSeries& series, std::size_t row) {
    QString text = QString::fromStdString(ClockText(series.times[row], series.clock));
    text += ValuesText(series, row);
    if (row < series.sources.size() && !series.sources[row].empty() &&
        series.sources[row] != kNoSource)
        text += QStringLiteral("  ") + QString::fromStdString(series.sources[row]);
    return text;
}

// "10:15:03" of "2026-12-08 10:15:03" when both markers fall on the same day.
QString MarkerClock(const TimeSeries& series, int64_t time, bool sameDay) {
    const QString full = QString::fromStdString(ClockText(time, series.clock));
    return sameDay ? full.mid(11) : full;
}

QString DifferenceText(const TimeSeries& series, int64_t a, int64_t b) {
    const std::optional<MarkerDifference> difference = DifferenceOf(series, a, b);
    const bool sameDay =
        ClockText(a, series.clock).substr(0, 10) == ClockText(b, series.clock).substr(0, 10);
    QString text = QStringLiteral("A %1  B %2  ΔT %3")
                       .arg(MarkerClock(series, a, sameDay), MarkerClock(series, b, sameDay),
                            QString::fromStdString(DurationText(b - a)));
    if (!difference) return text;
    for (const Caption& caption : kCaptions)
        if (int c = series.Column(caption.name); c >= 0) {
            const double delta = difference->values[static_cast<std::size_t>(c)];
            text += QStringLiteral("  Δ%1 %2%3 %4")
                        .arg(QString::fromUtf8(caption.text), QString(delta > 0 ? "+" : ""),
                             Reading(delta), QString::fromUtf8(caption.unit));
        }
    return text;
}

// The trace the overview shows: EMF when the series has it, else its first column.
int OverviewColumn(const TimeSeries& series) {
    const int emf = series.Column("emf_mg");
    return emf >= 0 ? emf : 0;
}

int64_t SeriesFirst(const TimeSeries& series) {
    return series.times.empty() ? 0 : series.times.front();
}

int64_t SeriesLast(const TimeSeries& series) {
    return series.times.empty() ? kShortestSpan
                                : std::max(series.times.back(), series.times.front() + 1);
}

}  // namespace

LongTermView::LongTermView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setMinimumSize(320, 200);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);  // + - arrows and Home steer the view
}

void LongTermView::SetSeries(TimeSeries series) {
    series_ = std::move(series);
    markerA_.reset();
    markerB_.reset();
    overviewCache_ = QImage();
    ShowAll();
}

void LongTermView::ShowAll() {
    SetSpan(SeriesFirst(series_), SeriesLast(series_));
}

void LongTermView::AppendFieldRows(const std::vector<FieldRow>& rows) {
    if (rows.empty()) return;
    if (series_.names.empty()) {
        series_.names = {"x_mg", "y_mg", "z_mg", "emf_mg", "ef_vm"};
        series_.columns.assign(5, {});
    }
    const bool following = series_.times.empty() || t1_ >= series_.times.back();
    for (const FieldRow& row : rows) {
        if (!series_.times.empty() && row.time <= series_.times.back()) continue;
        series_.times.push_back(row.time);
        const float values[] = {row.xMg, row.yMg, row.zMg, row.emfMg, row.efVm};
        for (std::size_t c = 0; c < 5; ++c)
            series_.columns[c].push_back(values[c]);
    }
    if (!following) return update();
    const int64_t span = std::max<int64_t>(t1_ - t0_, kShortestSpan);
    const int64_t end = series_.times.back();
    SetSpan(std::max(series_.times.front(), end - span), end);
}

void LongTermView::SetSpan(int64_t t0, int64_t t1) {
    if (t1 - t0 < kShortestSpan) {
        const int64_t middle = t0 + (t1 - t0) / 2;
        t0 = middle - kShortestSpan / 2;
        t1 = t0 + kShortestSpan;
    }
    if (t0 == t0_ && t1 == t1_) return;
    t0_ = t0;
    t1_ = t1;
    update();
    emit spanChanged(t0_, t1_);
}

int LongTermView::PlotHeight() const {
    return std::max(1, height() - kMarkerLineHeight - kOverviewHeight - kOverviewBottomGap);
}

QRect LongTermView::PlotArea() const {
    return TrendPlotArea(width(), PlotHeight());
}

QRect LongTermView::OverviewArea() const {
    const QRect area = PlotArea();
    return QRect(area.left(), PlotHeight() + kMarkerLineHeight, area.width(), kOverviewHeight);
}

QString LongTermView::MarkerText() const {
    if (series_.times.empty() || (!markerA_ && !markerB_)) return {};
    if (markerA_ && markerB_) return DifferenceText(series_, *markerA_, *markerB_);
    const int64_t time = markerA_ ? *markerA_ : *markerB_;
    return QString::fromUtf8(markerA_ ? "A " : "B ") +
           RowText(series_, NearestRow(series_.times, time));
}

QImage LongTermView::Render() const {
    QImage image(size(), QImage::Format_RGB32);
    if (image.isNull()) return image;
    image.fill(Qt::white);
    const QImage trend = RenderTrendImage(series_, t0_, t1_, width(), PlotHeight());
    QPainter painter(&image);
    if (!trend.isNull()) painter.drawImage(0, 0, trend);
    DrawMarkers(painter);
    DrawMarkerLine(painter);
    DrawOverview(painter);
    return image;
}

void LongTermView::DrawMarkers(QPainter& painter) const {
    const QRect area = PlotArea();
    const std::pair<const std::optional<int64_t>*, std::pair<QColor, const char*>> markers[] = {
        {&markerA_, {kMarkerAColour, "A"}}, {&markerB_, {kMarkerBColour, "B"}}};
    for (const auto& [marker, style] : markers) {
        if (!*marker || **marker < t0_ || **marker > t1_) continue;
        const int x = XOfTime(area, t0_, t1_, **marker);
        painter.setPen(QPen(style.first, 1, Qt::DashLine));
        painter.drawLine(x, area.top(), x, area.bottom());
        const QRect flag(x - 6, area.bottom() - 14, 13, 14);
        painter.fillRect(flag, style.first);
        painter.setPen(Qt::white);
        painter.drawText(flag, Qt::AlignCenter, QString::fromLatin1(style.second));
    }
}

void LongTermView::DrawMarkerLine(QPainter& painter) const {
    const QString text = MarkerText();
    if (text.isEmpty()) return;
    const QRect area = PlotArea();
    const QRect line(area.left(), PlotHeight(), area.width(), kMarkerLineHeight - 2);
    painter.fillRect(line, kReadOutPaper);
    painter.setPen(Qt::black);
    painter.drawText(line.adjusted(4, 0, -4, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
}

const QImage& LongTermView::OverviewTraces() const {
    const QRect strip = OverviewArea();
    if (!overviewCache_.isNull() && overviewRows_ == series_.times.size() &&
        overviewCache_.size() == strip.size())
        return overviewCache_;
    overviewRows_ = series_.times.size();
    overviewCache_ = QImage(strip.size(), QImage::Format_ARGB32_Premultiplied);
    overviewCache_.fill(Qt::transparent);
    if (series_.times.empty() || series_.columns.empty()) return overviewCache_;
    const int column = OverviewColumn(series_);
    const int64_t first = SeriesFirst(series_);
    const int64_t last = SeriesLast(series_);
    const SpanFigures figures = FiguresOf(series_, column, first, last);
    const double top = figures.max > 0 ? figures.max : 1.0;
    QPainter painter(&overviewCache_);
    painter.setPen(ColourOfTrace(series_.names[static_cast<std::size_t>(column)]));
    const std::vector<PixelColumn> columns =
        DecimateToColumns(series_, column, first, last, strip.width());
    auto y = [&](float value) {
        const double fraction = std::clamp(value / top, 0.0, 1.0);
        return strip.height() - 2 - static_cast<int>(std::lround(fraction * (strip.height() - 4)));
    };
    for (std::size_t x = 0; x < columns.size(); ++x)
        if (columns[x].any)
            painter.drawLine(static_cast<int>(x), y(columns[x].min), static_cast<int>(x),
                             y(columns[x].max));
    return overviewCache_;
}

void LongTermView::DrawOverview(QPainter& painter) const {
    const QRect strip = OverviewArea();
    painter.fillRect(strip, QColor(248, 248, 248));
    painter.drawImage(strip.topLeft(), OverviewTraces());
    const StripMap map{SeriesFirst(series_), SeriesLast(series_), strip.left(), strip.width()};
    const int left = StripX(map, t0_);
    const int right = std::max(StripX(map, t1_), left + 1);
    const QRect visible(left, strip.top(), right - left + 1, strip.height());
    QColor shade = kVisibleSpan;
    shade.setAlpha(50);
    painter.fillRect(visible, shade);
    painter.setPen(kVisibleSpan);
    painter.drawRect(visible.adjusted(0, 0, -1, -1));
    painter.setPen(kOverviewFrame);
    painter.drawRect(strip.adjusted(0, 0, -1, -1));
}

void LongTermView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QImage image = Render();
    if (image.isNull()) return painter.fillRect(rect(), Qt::white);
    painter.drawImage(0, 0, image);
    const QRect area = PlotArea();
    if (cursorX_ < area.left() || cursorX_ > area.right()) return;
    painter.setPen(QColor(90, 90, 90));
    painter.drawLine(cursorX_, area.top(), cursorX_, area.bottom());
    if (!cursorText_.isEmpty()) {
        // Beside the pointer's line and below the panel captions, which it would hide.
        const QRect box = painter.fontMetrics().boundingRect(cursorText_).adjusted(-4, -2, 4, 2);
        const QRect placed = TrendReadOutRect(area, TrendPanelCount(series_), box.size(),
                                              QPoint(cursorX_, cursorY_));
        painter.fillRect(placed, kReadOutPaper);
        painter.drawText(placed, Qt::AlignCenter, cursorText_);
    }
}

void LongTermView::ZoomAbout(double factor, int64_t pivot) {
    const TimeSpan span = ZoomSpan({t0_, t1_}, factor, pivot);
    SetSpan(span.t0, span.t1);
}

void LongTermView::wheelEvent(QWheelEvent* event) {
    const int notches = event->angleDelta().y() / kWheelNotch;
    if (notches == 0) return event->ignore();
    const QRect area = PlotArea();
    const int x = std::clamp(static_cast<int>(event->position().x()), area.left(), area.right());
    // Wheel forward zooms in, around the time under the pointer.
    ZoomAbout(std::pow(kZoomPerNotch, -notches), TimeAtX(area, t0_, t1_, x));
    UpdateCursor(x, static_cast<int>(event->position().y()));
    event->accept();
}

void LongTermView::keyPressEvent(QKeyEvent* event) {
    const int64_t middle = t0_ + (t1_ - t0_) / 2;
    const auto pan = [&](double fraction) {
        const TimeSpan span =
            PanSpan({t0_, t1_}, fraction, SeriesFirst(series_), SeriesLast(series_));
        SetSpan(span.t0, span.t1);
    };
    switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            return ZoomAbout(1.0 / kZoomPerKey, middle);
        case Qt::Key_Minus:
            return ZoomAbout(kZoomPerKey, middle);
        case Qt::Key_Left:
            return pan(-kPanPerKey);
        case Qt::Key_Right:
            return pan(kPanPerKey);
        case Qt::Key_Home:
            return ShowAll();
        default:
            return QWidget::keyPressEvent(event);
    }
}

void LongTermView::JumpTo(int overviewX) {
    const QRect strip = OverviewArea();
    const int64_t first = SeriesFirst(series_);
    const int64_t last = SeriesLast(series_);
    const int64_t centre = StripTime({first, last, strip.left(), strip.width()}, overviewX);
    const TimeSpan span = CentredSpan(t1_ - t0_, centre, first, last);
    SetSpan(span.t0, span.t1);
}

void LongTermView::PlaceMarker(std::optional<int64_t>& marker, int x) {
    const QRect area = PlotArea();
    if (x < area.left() || x > area.right() || series_.times.empty()) return;
    marker = series_.times[NearestRow(series_.times, TimeAtX(area, t0_, t1_, x))];
    update();
}

void LongTermView::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::RightButton) return PlaceMarker(markerB_, at.x());
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    if (OverviewArea().contains(at)) {
        jumping_ = true;
        return JumpTo(at.x());
    }
    pressed_ = true;
    panning_ = false;
    dragX_ = at.x();
    dragT0_ = t0_;
}

void LongTermView::mouseMoveEvent(QMouseEvent* event) {
    const int x = static_cast<int>(event->position().x());
    if (jumping_) return JumpTo(x);
    if (pressed_ && std::abs(x - dragX_) > kClickSlop) panning_ = true;
    if (panning_) {
        const QRect area = PlotArea();
        const int64_t span = t1_ - t0_;
        const int64_t shift = static_cast<int64_t>(
            std::llround(static_cast<double>(dragX_ - x) * span / std::max(1, area.width())));
        SetSpan(dragT0_ + shift, dragT0_ + shift + span);
    }
    UpdateCursor(x, static_cast<int>(event->position().y()));
}

void LongTermView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const bool click = pressed_ && !panning_;
    pressed_ = panning_ = jumping_ = false;
    if (!click) return;
    const int x = static_cast<int>(event->position().x());
    PlaceMarker(event->modifiers() & Qt::ShiftModifier ? markerB_ : markerA_, x);
}

void LongTermView::leaveEvent(QEvent*) {
    cursorX_ = -1;
    cursorText_.clear();
    update();
}

void LongTermView::UpdateCursor(int x, int y) {
    cursorX_ = x;
    cursorY_ = y;
    cursorText_.clear();
    const QRect area = PlotArea();
    if (x >= area.left() && x <= area.right() && !series_.times.empty()) {
        const int64_t time = TimeAtX(area, t0_, t1_, x);
        const std::size_t row = NearestRow(series_.times, time);
        // Only a row within a step (or a pixel) of the pointer: a gap reads as nothing.
        const int64_t near = std::max<int64_t>(series_.longestStep, (t1_ - t0_) / area.width());
        if (std::llabs(series_.times[row] - time) <= near) cursorText_ = RowText(series_, row);
    }
    update();
}

bool LongTermView::ExportPng(const std::string& path, std::string* error) const {
    QByteArray data;
    QBuffer buffer(&data);
    const QImage image = Render();
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
        if (error) *error = "the picture could not be drawn";
        return false;
    }
    return WriteFileWhole(path, std::string_view(data.constData(), data.size()), error);
}
