#include "graph/long_term_view.h"

#include <QBuffer>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "graph/long_term_plot.h"
#include "measure/whole_file.h"

namespace {

constexpr int64_t kShortestSpan = 10;   // seconds
constexpr double kZoomPerNotch = 1.25;  // one wheel notch
constexpr int kWheelNotch = 120;
constexpr const char* kNoSource = "---";  // the history's "no source found"

// clang-format off
struct Caption { const char* name; const char* text; const char* unit; };
constexpr Caption kCaptions[] = {
    {"emf_mg", "EMF", "mG"}, {"x_mg", "X", "mG"}, {"y_mg", "Y", "mG"}, {"z_mg", "Z", "mG"},
    {"ef_vm", "EF", "V/m"}, {"rf_pw_cm2", "RF", "pW/cm²"},
};
// clang-format on

}  // namespace

LongTermView::LongTermView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setMinimumSize(320, 200);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LongTermView::SetSeries(TimeSeries series) {
    series_ = std::move(series);
    ShowAll();
}

void LongTermView::ShowAll() {
    if (series_.times.empty()) {
        SetSpan(0, kShortestSpan);
        return;
    }
    SetSpan(series_.times.front(), std::max(series_.times.back(), series_.times.front() + 1));
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

QImage LongTermView::Render() const {
    return RenderTrendImage(series_, t0_, t1_, width(), height());
}

void LongTermView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QImage image = Render();
    if (image.isNull()) return painter.fillRect(rect(), Qt::white);
    painter.drawImage(0, 0, image);
    const QRect area = TrendPlotArea(width(), height());
    if (cursorX_ < area.left() || cursorX_ > area.right()) return;
    painter.setPen(QColor(90, 90, 90));
    painter.drawLine(cursorX_, area.top(), cursorX_, area.bottom());
    if (!cursorText_.isEmpty()) {
        const QRect box = painter.fontMetrics().boundingRect(cursorText_).adjusted(-4, -2, 4, 2);
        const QRect placed =
            box.translated(area.right() - box.width() - box.left(), area.top() - box.top() + 1);
        painter.fillRect(placed, QColor(255, 255, 220));
        painter.drawText(placed, Qt::AlignCenter, cursorText_);
    }
}

void LongTermView::wheelEvent(QWheelEvent* event) {
    const int notches = event->angleDelta().y() / kWheelNotch;
    if (notches == 0) return event->ignore();
    const QRect area = TrendPlotArea(width(), height());
    const int x = std::clamp(static_cast<int>(event->position().x()), area.left(), area.right());
    const int64_t pivot = TimeAtX(area, t0_, t1_, x);
    // Wheel forward zooms in, around the time under the pointer.
    const double factor = std::pow(kZoomPerNotch, -notches);
    const int64_t t0 = pivot - static_cast<int64_t>(std::llround((pivot - t0_) * factor));
    const int64_t t1 = pivot + static_cast<int64_t>(std::llround((t1_ - pivot) * factor));
    SetSpan(t0, t1);
    UpdateCursor(x, static_cast<int>(event->position().y()));
    event->accept();
}

void LongTermView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    dragging_ = true;
    dragX_ = static_cast<int>(event->position().x());
    dragT0_ = t0_;
}

void LongTermView::mouseMoveEvent(QMouseEvent* event) {
    const int x = static_cast<int>(event->position().x());
    if (dragging_) {
        const QRect area = TrendPlotArea(width(), height());
        const int64_t span = t1_ - t0_;
        const int64_t shift = static_cast<int64_t>(
            std::llround(static_cast<double>(dragX_ - x) * span / std::max(1, area.width())));
        SetSpan(dragT0_ + shift, dragT0_ + shift + span);
    }
    UpdateCursor(x, static_cast<int>(event->position().y()));
}

void LongTermView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragging_ = false;
}

void LongTermView::leaveEvent(QEvent*) {
    cursorX_ = -1;
    cursorText_.clear();
    update();
}

namespace {

// The row nearest `time`; the series must not be empty.
std::size_t NearestRow(const TimeSeries& series, int64_t time) {
    const auto after = std::lower_bound(series.times.begin(), series.times.end(), time);
    const std::size_t row = static_cast<std::size_t>(after - series.times.begin());
    if (row == 0) return 0;
    if (row == series.times.size() || time - series.times[row - 1] < *after - time) return row - 1;
    return row;
}

QString RowText(const TimeSeries& series, std::size_t row) {
    QString text = QString::fromStdString(ClockText(series.times[row], series.clock));
    for (const Caption& caption : kCaptions)
        if (int c = series.Column(caption.name); c >= 0)
            text += QStringLiteral("  %1 %2 %3")
                        .arg(QString::fromUtf8(caption.text))
                        .arg(series.columns[c][row], 0, 'g', 4)
                        .arg(QString::fromUtf8(caption.unit));
    if (row < series.sources.size() && !series.sources[row].empty() &&
        series.sources[row] != kNoSource)
        text += QStringLiteral("  ") + QString::fromStdString(series.sources[row]);
    return text;
}

}  // namespace

void LongTermView::UpdateCursor(int x, int) {
    cursorX_ = x;
    cursorText_.clear();
    const QRect area = TrendPlotArea(width(), height());
    if (x >= area.left() && x <= area.right() && !series_.times.empty()) {
        const int64_t time = TimeAtX(area, t0_, t1_, x);
        const std::size_t row = NearestRow(series_, time);
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
