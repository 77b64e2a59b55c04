#include "graph/waterfall_view.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cmath>

#include "graph/long_term_plot.h"
#include "record/long_term.h"

namespace {

constexpr int kLeftMargin = 64;     // the times, and the trace's levels
constexpr int kRightMargin = 80;    // the colour bar and its levels
constexpr int kTopMargin = 18;      // the frequencies above the trace
constexpr int kPanelGap = 6;        // between the trace and the waterfall
constexpr int kReadoutHeight = 18;  // the pointer's readout below the waterfall
constexpr int kFontPixels = 11;
constexpr int kLabelHeight = 14;
constexpr int kTimeLabelSpacing = 45;  // pixels at least between time labels
constexpr int kFrequencyLabelSpacing = 110;
constexpr int kLiveSweeps = 300;  // a live view's rows at first: 5 minutes at a sweep a second
constexpr int kFewestSweeps = 4;
constexpr int kFewestBins = 8;
constexpr double kZoomPerNotch = 1.25;
constexpr int kWheelNotch = 120;
constexpr int kLevelStep = 10;  // the automatic range is in whole tens of dBm
const QColor kBackground(255, 255, 255);
const QColor kFrame(120, 120, 120);
const QColor kGrid(225, 225, 225);
const QColor kText(0, 0, 0);
const QColor kTraceColour(200, 30, 30);
const QColor kEmptyRow(240, 240, 240);
const QColor kPause(255, 255, 255);

QFont PlotFont() {
    QFont font;
    font.setPixelSize(kFontPixels);
    return font;
}

int FloorToStep(int level) {
    return static_cast<int>(std::floor(level / static_cast<double>(kLevelStep))) * kLevelStep;
}

int CeilToStep(int level) {
    return static_cast<int>(std::ceil(level / static_cast<double>(kLevelStep))) * kLevelStep;
}

QRgb LevelColour(int level, int floor, int ceiling) {
    const Rgb colour = ViridisColour(LevelFraction(level, floor, ceiling));
    return qRgb(colour.r, colour.g, colour.b);
}

QString TimeText(int64_t time) {
    return QDateTime::fromSecsSinceEpoch(time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

int64_t MedianOf(std::vector<int64_t> values) {
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

}  // namespace

WaterfallView::WaterfallView(QWidget* parent) : QWidget(parent), count_(kLiveSweeps) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(320, 240);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void WaterfallView::SetSeries(SpectrumSeries series) {
    series_ = std::move(series);
    clockMs_.clear();
    stepsMs_.clear();
    weakestSeen_ = 0;
    strongestSeen_ = kFloorDbm;
    for (const SpectrumRow& row : series_.rows) {
        clockMs_.push_back(row.time * 1000);
        TakeLevels(row);
    }
    pauseMs_ = series_.longestStep * 1000;
    ShowAll();
}

void WaterfallView::AppendSweep(const SpectrumRow& row, int64_t clockMs) {
    const bool following = newest_ == SweepCount() - 1;
    if (!clockMs_.empty()) {
        // As the reader finds a file's pauses: a step well past the usual one.
        stepsMs_.push_back(clockMs - clockMs_.back());
        pauseMs_ = std::max<int64_t>(1000, MedianOf(stepsMs_)) * 5 / 2;
    }
    series_.rows.push_back(row);
    clockMs_.push_back(clockMs);
    TakeLevels(row);
    Show(following ? SweepCount() - 1 : newest_, count_, firstBin_, bins_);
    update();
}

void WaterfallView::TakeLevels(const SpectrumRow& row) {
    for (int8_t level : row.dbm) {
        weakestSeen_ = std::min<int>(weakestSeen_, level);
        strongestSeen_ = std::max<int>(strongestSeen_, level);
    }
    if (levelsSet_) return;
    const int floor = FloorToStep(weakestSeen_);
    const int ceiling = std::max(CeilToStep(strongestSeen_), floor + kLevelStep);
    if (floor == floor_ && ceiling == ceiling_) return;
    floor_ = floor;
    ceiling_ = ceiling;
    emit levelRangeChanged(floor_, ceiling_);
}

void WaterfallView::SetLevelRange(int floorDbm, int ceilingDbm) {
    levelsSet_ = true;
    ceilingDbm = std::max(ceilingDbm, floorDbm + 1);
    if (floorDbm == floor_ && ceilingDbm == ceiling_) return;
    floor_ = floorDbm;
    ceiling_ = ceilingDbm;
    update();
    emit levelRangeChanged(floor_, ceiling_);
}

void WaterfallView::ShowAll() {
    Show(SweepCount() - 1, SweepCount() > 0 ? SweepCount() : kLiveSweeps, 0, kSpectrumBins);
}

// Every change of what is on show comes here and is kept inside the sweeps and bins there are.
void WaterfallView::Show(int newest, int count, int firstBin, int bins) {
    count_ = std::clamp(count, kFewestSweeps, std::max(kLiveSweeps, SweepCount()));
    // The rows stay filled as far as there are sweeps to fill them.
    newest_ = std::clamp(newest, std::min(count_, SweepCount()) - 1, SweepCount() - 1);
    bins_ = std::clamp(bins, kFewestBins, kSpectrumBins);
    firstBin_ = std::clamp(firstBin, 0, kSpectrumBins - bins_);
    update();
}

QRect WaterfallView::TraceArea() const {
    const int plotWidth = std::max(1, width() - kLeftMargin - kRightMargin);
    return QRect(kLeftMargin, kTopMargin, plotWidth, std::max(40, height() / 4));
}

QRect WaterfallView::WaterfallArea() const {
    const QRect trace = TraceArea();
    const int top = trace.bottom() + 1 + kPanelGap;
    return QRect(kLeftMargin, top, trace.width(), std::max(1, height() - top - kReadoutHeight));
}

std::pair<int64_t, int64_t> WaterfallView::TimesShown() const {
    if (series_.rows.empty()) return {0, 0};
    const int oldest = std::max(0, newest_ - count_ + 1);
    return {series_.rows[static_cast<std::size_t>(oldest)].time,
            series_.rows[static_cast<std::size_t>(newest_)].time};
}

bool WaterfallView::PauseBefore(int sweep) const {
    return sweep > 0 && clockMs_[static_cast<std::size_t>(sweep)] -
                                clockMs_[static_cast<std::size_t>(sweep - 1)] >
                            pauseMs_;
}

namespace {

// The rows' sweeps [first, end) as slots counted from the top; the bins of a column.
struct Span {
    int first;
    int end;
};

Span SlotsOfRow(int y, int height, int count) {
    const int first = static_cast<int>(static_cast<int64_t>(y) * count / height);
    const int end = static_cast<int>(static_cast<int64_t>(y + 1) * count / height);
    return {first, std::max(end, first + 1)};
}

}  // namespace

// Each pixel row shows the strongest level of its sweeps in each bin, so no burst is lost
// however many sweeps a row holds.
void WaterfallView::DrawWaterfall(QImage& image, const QRect& area) const {
    std::array<int, kSpectrumBins> strongest{};
    for (int y = 0; y < area.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(area.top() + y));
        const Span held = SlotsOfRow(y, area.height(), count_);
        strongest.fill(kNoSweep);
        for (int slot = held.first; slot < held.end; ++slot) {
            const int sweep = newest_ - slot;
            if (sweep < 0) break;
            const SpectrumLevels& dbm = series_.rows[static_cast<std::size_t>(sweep)].dbm;
            for (int bin = 0; bin < kSpectrumBins; ++bin)
                strongest[bin] = std::max<int>(strongest[bin], dbm[bin]);
        }
        for (int x = 0; x < area.width(); ++x) {
            const Span bins = SlotsOfRow(x, area.width(), bins_);
            int level = kNoSweep;
            for (int bin = firstBin_ + bins.first; bin < firstBin_ + bins.end; ++bin)
                level = std::max(level, strongest[bin]);
            line[area.left() + x] =
                level == kNoSweep ? kEmptyRow.rgb() : LevelColour(level, floor_, ceiling_);
        }
    }
}

// A pause in the recording is a line between the rows before and after it.
void WaterfallView::DrawPauses(QPainter& painter, const QRect& area) const {
    painter.setPen(kPause);
    const int oldest = std::max(1, newest_ - count_ + 1);
    for (int sweep = newest_; sweep >= oldest; --sweep) {
        if (!PauseBefore(sweep)) continue;
        const int slot = newest_ - sweep + 1;  // the older sweep's
        const int y =
            area.top() + static_cast<int>(static_cast<int64_t>(slot) * area.height() / count_);
        painter.drawLine(area.left(), y, area.right(), y);
    }
}

void WaterfallView::DrawTrace(QPainter& painter, const QRect& area) const {
    painter.setPen(kGrid);
    for (int level = CeilToStep(floor_); level <= ceiling_; level += kLevelStep) {
        const int y =
            area.bottom() - static_cast<int>(std::lround(LevelFraction(level, floor_, ceiling_) *
                                                         (area.height() - 1)));
        painter.drawLine(area.left(), y, area.right(), y);
    }
    painter.setPen(kText);
    painter.drawText(QRect(0, area.top(), kLeftMargin - 4, kLabelHeight), Qt::AlignRight,
                     QString("%1 dBm").arg(ceiling_));
    painter.drawText(QRect(0, area.bottom() - kLabelHeight + 1, kLeftMargin - 4, kLabelHeight),
                     Qt::AlignRight, QString("%1 dBm").arg(floor_));
    if (newest_ >= 0) {
        const SpectrumLevels& dbm = series_.rows[static_cast<std::size_t>(newest_)].dbm;
        QPolygon trace;
        for (int bin = firstBin_; bin < firstBin_ + bins_; ++bin) {
            const double fraction = LevelFraction(dbm[bin], floor_, ceiling_);
            trace << QPoint(
                area.left() + (2 * (bin - firstBin_) + 1) * area.width() / (2 * bins_),
                area.bottom() - static_cast<int>(std::lround(fraction * (area.height() - 1))));
        }
        painter.setPen(kTraceColour);
        painter.drawPolyline(trace);
    }
    painter.setPen(kFrame);
    painter.drawRect(area.adjusted(0, 0, -1, -1));
}

void WaterfallView::DrawFrequencies(QPainter& painter, const QRect& area) const {
    if (newest_ < 0) return;
    const SpectrumRow& row = series_.rows[static_cast<std::size_t>(newest_)];
    const QFontMetrics metrics(painter.font());
    painter.setPen(kText);
    const int labels = std::max(1, area.width() / kFrequencyLabelSpacing);
    for (int i = 0; i < labels; ++i) {
        const int bin = firstBin_ + i * bins_ / labels;
        const int x = area.left() + (bin - firstBin_) * area.width() / bins_;
        const QString text = QString("%1 MHz").arg(row.frequencyHz[bin] / 1e6, 0, 'f', 1);
        const int textWidth = metrics.horizontalAdvance(text) + 1;
        painter.drawText(
            QRect(LabelLeft(x + textWidth / 2, textWidth, width()), 2, textWidth, kLabelHeight),
            Qt::AlignLeft, text);
    }
}

// The times of the rows at the axis' ticks, each label whole inside the picture.
void WaterfallView::DrawTimes(QPainter& painter, const QRect& area) const {
    if (newest_ < 0) return;
    const auto [t0, t1] = TimesShown();
    const int oldest = std::max(0, newest_ - count_ + 1);
    const auto first = series_.rows.begin() + oldest;
    const auto end = series_.rows.begin() + newest_ + 1;
    painter.setPen(kText);
    int lastY = -kLabelHeight;
    for (const TimeTick& tick : TimeTicks(t0, t1 + 1, area.height(), kTimeLabelSpacing)) {
        const auto at = std::lower_bound(
            first, end, tick.time, [](const SpectrumRow& row, int64_t t) { return row.time < t; });
        if (at == end) continue;
        const int slot = newest_ - static_cast<int>(at - series_.rows.begin());
        const int y = area.top() + static_cast<int>((2 * static_cast<int64_t>(slot) + 1) *
                                                    area.height() / (2 * count_));
        const int top = std::clamp(y - kLabelHeight / 2, area.top(), area.bottom() - kLabelHeight);
        if (std::abs(top - lastY) < kLabelHeight) continue;
        painter.drawText(QRect(0, top, kLeftMargin - 4, kLabelHeight), Qt::AlignRight,
                         QString::fromStdString(tick.label));
        lastY = top;
    }
}

void WaterfallView::DrawLegend(QPainter& painter, const QRect& area) const {
    const QRect bar = LevelColourBarBeside(area);
    DrawLevelColourBar(painter, bar);
    painter.setPen(kText);
    const int textWidth = kRightMargin - bar.width() - 18;
    painter.drawText(QRect(bar.right() + 4, bar.top(), textWidth, kLabelHeight), Qt::AlignLeft,
                     QString("%1 dBm").arg(ceiling_));
    painter.drawText(
        QRect(bar.right() + 4, bar.bottom() - kLabelHeight + 1, textWidth, kLabelHeight),
        Qt::AlignLeft, QString("%1 dBm").arg(floor_));
}

QImage WaterfallView::Picture() const {
    QImage image(size(), QImage::Format_RGB32);
    if (image.isNull()) return image;
    image.fill(kBackground);
    const QRect area = WaterfallArea();
    DrawWaterfall(image, area);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setFont(PlotFont());
    DrawPauses(painter, area);
    DrawTrace(painter, TraceArea());
    DrawFrequencies(painter, TraceArea());
    DrawTimes(painter, area);
    DrawLegend(painter, area);
    return image;
}

void WaterfallView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, Picture());
    if (cursorText_.isEmpty()) return;
    painter.setFont(PlotFont());
    painter.setPen(kText);
    const QRect area = WaterfallArea();
    painter.drawText(
        QRect(area.left(), area.bottom() + 2, width() - area.left(), kReadoutHeight - 2),
        Qt::AlignLeft | Qt::AlignVCenter, cursorText_);
}

void WaterfallView::ZoomSweeps(double factor, int pivotRow) {
    const QRect area = WaterfallArea();
    const int slot =
        SlotsOfRow(std::clamp(pivotRow - area.top(), 0, area.height() - 1), area.height(), count_)
            .first;
    const int count = static_cast<int>(std::lround(count_ * factor));
    // The sweep under the pointer stays under it.
    const int newest = newest_ - slot + static_cast<int>(std::lround(slot * factor));
    Show(newest, count == count_ && factor > 1 ? count + 1 : count, firstBin_, bins_);
}

void WaterfallView::ZoomBins(double factor, int pivotColumn) {
    const QRect area = WaterfallArea();
    const int x = std::clamp(pivotColumn - area.left(), 0, area.width() - 1);
    const int pivot = firstBin_ + x * bins_ / area.width();
    const int bins = static_cast<int>(std::lround(bins_ * factor));
    Show(newest_, count_, pivot - static_cast<int>(std::lround((pivot - firstBin_) * factor)),
         bins == bins_ && factor > 1 ? bins + 1 : bins);
}

void WaterfallView::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    const int notches = (delta.y() != 0 ? delta.y() : delta.x()) / kWheelNotch;
    if (notches == 0) return event->ignore();
    // Wheel forward zooms in.
    const double factor = std::pow(kZoomPerNotch, -notches);
    const QPoint at = event->position().toPoint();
    if (event->modifiers().testFlag(Qt::ControlModifier))
        ZoomBins(factor, at.x());
    else
        ZoomSweeps(factor, at.y());
    UpdateCursor(at);
    event->accept();
}

void WaterfallView::keyPressEvent(QKeyEvent* event) {
    const bool bins = event->modifiers().testFlag(Qt::ControlModifier);
    const QRect area = WaterfallArea();
    const int sweepStep = std::max(1, count_ / 10);
    const int binStep = std::max(1, bins_ / 10);
    switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            return bins ? ZoomBins(1 / kZoomPerNotch, area.center().x())
                        : ZoomSweeps(1 / kZoomPerNotch, area.center().y());
        case Qt::Key_Minus:
            return bins ? ZoomBins(kZoomPerNotch, area.center().x())
                        : ZoomSweeps(kZoomPerNotch, area.center().y());
        case Qt::Key_Up:  // towards the newest, at the top
            return Show(newest_ + sweepStep, count_, firstBin_, bins_);
        case Qt::Key_Down:
            return Show(newest_ - sweepStep, count_, firstBin_, bins_);
        case Qt::Key_PageUp:
            return Show(newest_ + count_, count_, firstBin_, bins_);
        case Qt::Key_PageDown:
            return Show(newest_ - count_, count_, firstBin_, bins_);
        case Qt::Key_Left:
            return Show(newest_, count_, firstBin_ - binStep, bins_);
        case Qt::Key_Right:
            return Show(newest_, count_, firstBin_ + binStep, bins_);
        case Qt::Key_Home:
            return ShowAll();
        default:
            return QWidget::keyPressEvent(event);
    }
}

void WaterfallView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    dragging_ = true;
    dragFrom_ = event->position().toPoint();
    dragNewest_ = newest_;
    dragFirstBin_ = firstBin_;
}

// The sweeps follow the hand: dragged down, newer ones come in at the top.
void WaterfallView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (dragging_) {
        const QRect area = WaterfallArea();
        const QPoint moved = at - dragFrom_;
        Show(dragNewest_ + moved.y() * count_ / area.height(), count_,
             dragFirstBin_ - moved.x() * bins_ / area.width(), bins_);
    }
    UpdateCursor(at);
}

void WaterfallView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragging_ = false;
}

void WaterfallView::leaveEvent(QEvent*) {
    cursorText_.clear();
    update();
}

void WaterfallView::UpdateCursor(QPoint at) {
    cursorText_.clear();
    update();
    const QRect area = WaterfallArea();
    const QRect trace = TraceArea();
    const bool inWaterfall = area.contains(at);
    if ((!inWaterfall && !trace.contains(at)) || newest_ < 0) return;
    const int slot = inWaterfall ? SlotsOfRow(at.y() - area.top(), area.height(), count_).first : 0;
    const int sweep = newest_ - slot;
    if (sweep < 0) return;
    const int bin = firstBin_ + (at.x() - area.left()) * bins_ / area.width();
    const SpectrumRow& row = series_.rows[static_cast<std::size_t>(sweep)];
    cursorText_ = QStringLiteral("%1 MHz  %2  %3 dBm")
                      .arg(row.frequencyHz[bin] / 1e6, 0, 'f', 3)
                      .arg(TimeText(row.time))
                      .arg(row.dbm[bin]);
}
