#include "graph/offscreen_dc.h"

#include <QFontMetrics>
#include <QPen>
#include <QString>
#include <QtMath>
#include <algorithm>
#include <cstdlib>

namespace {

constexpr int kDashOn = 18;  // pixels of a dash, then kDashOff pixels of gap
constexpr int kDashOff = 6;
constexpr int kSystemFontPixels = 11;

const QColor kFrameBorder(0, 0, 0);
const QColor kFrameShadow(128, 128, 128);
const QColor kFrameLight(255, 255, 255);

// Collects the pixels of a line into runs along one row or one column and fills each run in
// one go, so straight lines cost one fill per dash.
class PixelRuns {
  public:
    PixelRuns(QPainter& painter, QColor colour) : painter(painter), colour(colour) {}
    PixelRuns(const PixelRuns&) = delete;
    PixelRuns& operator=(const PixelRuns&) = delete;
    ~PixelRuns() { Flush(); }

    void Add(QPoint p) {
        const QRect pixel(p, QSize(1, 1));
        if (!Extends(p)) Flush();
        run = run.isEmpty() ? pixel : run.united(pixel);
    }

    void Flush() {
        if (!run.isEmpty()) painter.fillRect(run, colour);
        run = QRect();
    }

  private:
    bool Extends(QPoint p) const {
        if (run.isEmpty()) return false;
        const bool alongRow = run.height() == 1 && p.y() == run.top() &&
                              (p.x() == run.left() - 1 || p.x() == run.right() + 1);
        const bool alongColumn = run.width() == 1 && p.x() == run.left() &&
                                 (p.y() == run.top() - 1 || p.y() == run.bottom() + 1);
        return alongRow || alongColumn;
    }

    QPainter& painter;
    QColor colour;
    QRect run;
};

// The pixels a line covers along one axis: from its start up to, not including, its end.
struct Span {
    int first;
    int pastLast;
};

Span SpanFromTo(int from, int to) {
    return from < to ? Span{from, to} : Span{to + 1, from + 1};
}

}  // namespace

QRect ClientAreaOf(const QRect& controlRect) {
    return controlRect.marginsRemoved(kSunkenFrameMargins);
}

void PaintSunkenFrame(QPainter& painter, const QRect& r) {
    painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), kFrameBorder);
    painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), kFrameBorder);
    painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), kFrameBorder);
    painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), kFrameBorder);
    painter.fillRect(QRect(r.left() + 1, r.top() + 1, r.width() - 2, 1), kFrameShadow);
    painter.fillRect(QRect(r.left() + 1, r.bottom() - 1, r.width() - 2, 1), kFrameLight);
}

std::unique_ptr<COffscreenDC> COffscreenDC::Create(int width, int height, QColor fill,
                                                   qreal pixelRatio) {
    if (width <= 0 || height <= 0) return nullptr;
    std::unique_ptr<COffscreenDC> dc(
        new COffscreenDC(width, height, fill, std::max<qreal>(pixelRatio, 1)));
    if (dc->image.isNull() || !dc->painter.isActive()) return nullptr;
    return dc;
}

COffscreenDC::COffscreenDC(int width, int height, QColor fill, qreal pixelRatio)
    : width(width),
      height(height),
      smoothText(pixelRatio > 1),
      image(qCeil(width * pixelRatio), qCeil(height * pixelRatio), QImage::Format_RGB32) {
    if (image.isNull()) return;
    image.setDevicePixelRatio(pixelRatio);
    image.fill(fill);
    painter.begin(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, smoothText);
    painter.setFont(Shown(SystemFont()));
    painter.setBrush(Qt::white);
}

COffscreenDC::~COffscreenDC() {
    if (painter.isActive()) painter.end();
}

QFont COffscreenDC::SystemFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(kSystemFontPixels);
    font.setStyleStrategy(QFont::NoAntialias);
    font.setKerning(false);
    return font;
}

void COffscreenDC::SelectPen(QColor colour, int width, Qt::PenStyle style) {
    pen = Pen{colour, width, style};
}

void COffscreenDC::SelectSolidBrush(QColor colour) {
    painter.setBrush(colour);
}

void COffscreenDC::SelectFont(const QFont& font) {
    painter.setFont(Shown(font));
}

// Unsmoothed text is exact at one pixel per pixel; on a scaled image it looks ragged.
QFont COffscreenDC::Shown(QFont font) const {
    if (smoothText) font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

void COffscreenDC::MoveTo(int x, int y) {
    position = QPoint(x, y);
}

void COffscreenDC::LineTo(int x, int y) {
    const QPoint to(x, y);
    if (to != position) {
        if (pen.width <= 1)
            DrawThinLine(position, to);
        else
            DrawWideLine(position, to);
    }
    position = to;
}

// Integer line stepping from `from` towards `to`, one pixel per step of the longer axis; the
// end point is left for the next line of a polyline.
void COffscreenDC::DrawThinLine(QPoint from, QPoint to) {
    const int dx = std::abs(to.x() - from.x());
    const int dy = -std::abs(to.y() - from.y());
    const int stepX = from.x() < to.x() ? 1 : -1;
    const int stepY = from.y() < to.y() ? 1 : -1;
    int error = dx + dy;
    PixelRuns dashes(painter, pen.colour);
    PixelRuns gaps(painter, backgroundColour);  // an opaque background shows in the gaps
    QPoint p = from;
    for (int i = 0; p != to; ++i) {
        if (DashIsOn(i)) {
            dashes.Add(p);
        } else if (opaqueBackground) {
            gaps.Add(p);
        }
        const int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            p.rx() += stepX;
        }
        if (twice <= dx) {
            error += dx;
            p.ry() += stepY;
        }
    }
}

// Straight wide lines are exact rectangles; slanted ones are left to the rasteriser with
// flat ends, so they neither reach past their end points nor round off.
void COffscreenDC::DrawWideLine(QPoint from, QPoint to) {
    const int before = pen.width / 2;  // rows or columns on the near side of the path
    if (from.y() == to.y()) {
        const Span span = SpanFromTo(from.x(), to.x());
        const int top = from.y() - before;
        FillRect(span.first, top, span.pastLast, top + pen.width, pen.colour);
    } else if (from.x() == to.x()) {
        const Span span = SpanFromTo(from.y(), to.y());
        const int left = from.x() - before;
        FillRect(left, span.first, left + pen.width, span.pastLast, pen.colour);
    } else {
        painter.setPen(QPen(pen.colour, pen.width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        painter.drawLine(from, to);
    }
}

bool COffscreenDC::DashIsOn(int pixelIndex) const {
    return pen.style != Qt::DashLine || pixelIndex % (kDashOn + kDashOff) < kDashOn;
}

void COffscreenDC::FillRect(int left, int top, int right, int bottom, QColor colour) {
    if (right <= left || bottom <= top) return;
    painter.fillRect(QRect(left, top, right - left, bottom - top), colour);
}

void COffscreenDC::TextOut(int x, int y, std::string_view text) {
    const QString line = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    const QFontMetrics metrics = painter.fontMetrics();
    if (opaqueBackground)
        painter.fillRect(QRect(x, y, metrics.horizontalAdvance(line), metrics.height()),
                         backgroundColour);
    painter.setPen(textColour);
    painter.drawText(QPoint(x, y + metrics.ascent()), line);
}

int COffscreenDC::TextWidth(std::string_view text) const {
    const QString line = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    return painter.fontMetrics().horizontalAdvance(line);
}

int COffscreenDC::TextHeight() const {
    return painter.fontMetrics().height();
}

void COffscreenDC::SetTextColor(QColor colour) {
    textColour = colour;
}

void COffscreenDC::SetBkModeTransparent() {
    opaqueBackground = false;
}

void COffscreenDC::SetBkModeOpaque() {
    opaqueBackground = true;
}
