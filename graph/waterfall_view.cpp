#include "graph/waterfall_view.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "graph/long_term_plot.h"

WaterfallView::WaterfallView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setMinimumSize(320, 200);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void WaterfallView::SetSeries(SpectrumSeries series) {
    series_ = std::move(series);
    update();
}

void WaterfallView::AppendSweep(const SpectrumRow& row) {
    // Sweeps a second apart or closer may share a second; time never goes back.
    if (!series_.rows.empty() && row.time < series_.rows.back().time) return;
    series_.rows.push_back(row);
    update();
}

int64_t WaterfallView::SpanStart() const {
    return series_.rows.empty() ? 0 : series_.rows.front().time;
}

int64_t WaterfallView::SpanEnd() const {
    return series_.rows.empty() ? 1 : std::max(series_.rows.back().time + 1, SpanStart() + 1);
}

void WaterfallView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QImage image = RenderWaterfallImage(series_, SpanStart(), SpanEnd(), width(), height());
    if (image.isNull()) return painter.fillRect(rect(), Qt::white);
    painter.drawImage(0, 0, image);
    if (!cursorText_.isEmpty()) {
        const QRect box = painter.fontMetrics().boundingRect(cursorText_).adjusted(-4, -2, 4, 2);
        const QRect area = WaterfallPlotArea(width(), height());
        const QRect placed =
            box.translated(area.right() - box.width() - box.left(), area.bottom() - box.bottom());
        painter.fillRect(placed, QColor(255, 255, 220));
        painter.setPen(Qt::black);
        painter.drawText(placed, Qt::AlignCenter, cursorText_);
    }
}

void WaterfallView::mouseMoveEvent(QMouseEvent* event) {
    cursorText_.clear();
    const QRect area = WaterfallPlotArea(width(), height());
    const QPoint at = event->position().toPoint();
    if (area.contains(at) && !series_.rows.empty()) {
        const int64_t t0 = SpanStart();
        const int64_t t1 = SpanEnd();
        const int64_t time = t0 + (at.y() - area.top()) * (t1 - t0) / area.height();
        // The sweep standing at that time: the last one that began before it.
        auto after =
            std::upper_bound(series_.rows.begin(), series_.rows.end(), time,
                             [](int64_t t, const SpectrumRow& row) { return t < row.time; });
        if (after != series_.rows.begin()) {
            const SpectrumRow& row = *(after - 1);
            const int bin = std::clamp((at.x() - area.left()) * kSpectrumBins / area.width(), 0,
                                       kSpectrumBins - 1);
            if (time - row.time <= series_.longestStep)
                cursorText_ = QStringLiteral("%1 MHz  %2  %3 dBm")
                                  .arg(row.frequencyHz[bin] / 1e6, 0, 'f', 3)
                                  .arg(QDateTime::fromSecsSinceEpoch(row.time).toString(
                                      QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                                  .arg(row.dbm[bin]);
        }
    }
    update();
}

void WaterfallView::leaveEvent(QEvent*) {
    cursorText_.clear();
    update();
}
