#include "graph/graph_window.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "graph/field_plot.h"
#include "graph/plot_render.h"
#include "graph/spectrum_plot.h"
#include "measure/measurement.h"

namespace {

// The image is copied just inside the frame and is one pixel larger than the client area
// each way, so it runs over the frame's right and bottom edges.
constexpr int kImageLeft = 3;
constexpr int kImageTop = 3;
constexpr int kImageOverhang = 4;  // imageRect's right and bottom past the client size

const QColor kPaper(255, 255, 255);

class BlankPlotPainter final : public PlotPainter {
  public:
    void DrawTraces(COffscreenDC&, const PlotContext&) override {}
    void DrawAnnotations(COffscreenDC&, const PlotContext&) override {}
};

std::unique_ptr<PlotPainter> PainterOrBlank(std::unique_ptr<PlotPainter> painter) {
    if (painter) return painter;
    return std::make_unique<BlankPlotPainter>();
}

}  // namespace

CGraphWnd::CGraphWnd(const PlotReading& shown, QWidget* parent)
    : QWidget(parent),
      shown(shown),
      spectrumPainter(std::make_unique<SpectrumPlotPainter>()),
      trendPainter(std::make_unique<FieldTrendPainter>()) {
    setAttribute(Qt::WA_OpaquePaintEvent);  // nothing is erased between two copies
    setMouseTracking(true);                 // plain moves steer the pointer shape and drags
    ApplyPointerShape();
}

CGraphWnd::~CGraphWnd() = default;

void CGraphWnd::SetSpectrumPainter(std::unique_ptr<PlotPainter> painter) {
    spectrumPainter = PainterOrBlank(std::move(painter));
}

void CGraphWnd::SetTrendPainter(std::unique_ptr<PlotPainter> painter) {
    trendPainter = PainterOrBlank(std::move(painter));
}

void CGraphWnd::RenderAll() {
    RebuildImage();
}

void CGraphWnd::MoveCursorTo(int x, int y) {
    if (PlaceCursor(plotCursor, x, y, imageRect.Width(), imageRect.Height())) RebuildImage();
    Present();
}

void CGraphWnd::Refresh() {
    MoveCursorTo(plotCursor.CursorPoint.x, plotCursor.CursorPoint.y);
}

void CGraphWnd::Present() {
    update();
}

void CGraphWnd::ResetImage() {
    const QRect client = ClientAreaOf(rect());
    imageRect = WindowRect{kImageLeft, kImageTop, client.width() + kImageOverhang,
                           client.height() + kImageOverhang};
    image.reset();
    image =
        COffscreenDC::Create(imageRect.Width(), imageRect.Height(), kPaper, devicePixelRatioF());
}

void CGraphWnd::DrawGrid() {
    if (image) DrawGraphGrid(*image, shown.measurement.kind);
}

void CGraphWnd::DrawTraces() {
    if (!image) return;
    CurrentPainter().DrawTraces(*image, Context());
}

void CGraphWnd::DrawAnnotations() {
    if (!image) return;
    CurrentPainter().DrawAnnotations(*image, Context());
}

void CGraphWnd::DrawStatusText(const std::string& text, int x, int y) {
    if (image) image->TextOut(x, y, text);
}

const QImage* CGraphWnd::CurrentImage() const {
    return image ? &image->Image() : nullptr;
}

QPoint CGraphWnd::ClientOrigin() const {
    return ClientAreaOf(rect()).topLeft();
}

QSize CGraphWnd::sizeHint() const {
    return QSize(kGraphControlWidth, kGraphControlHeight);
}

void CGraphWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(ClientAreaOf(rect()), kPaper);
    PaintSunkenFrame(painter, rect());
    if (image) painter.drawImage(QPoint(imageRect.left, imageRect.top), image->Image());
}

// Qt hands every event of a press-move-release to the pressed widget; only those over the
// client area count, as if the window never held the mouse. So a release elsewhere leaves
// the drag on, and moves outside during it are not seen.
bool CGraphWnd::ToClient(const QMouseEvent& event, QPoint& client) const {
    const QPoint position = event.position().toPoint();
    if (!ClientAreaOf(rect()).contains(position)) return false;
    client = position - ClientOrigin();
    return true;
}

void CGraphWnd::mousePressEvent(QMouseEvent* event) {
    QPoint client;
    if (event->button() == Qt::LeftButton && ToClient(*event, client)) PressAt(client);
    QWidget::mousePressEvent(event);
}

void CGraphWnd::mouseMoveEvent(QMouseEvent* event) {
    QPoint client;
    if (ToClient(*event, client)) MoveAt(client);
    QWidget::mouseMoveEvent(event);
}

void CGraphWnd::mouseReleaseEvent(QMouseEvent* event) {
    QPoint client;
    if (event->button() == Qt::LeftButton && ToClient(*event, client)) plotCursor.Dragging = false;
    QWidget::mouseReleaseEvent(event);
}

void CGraphWnd::PressAt(QPoint client) {
    if (!PressCursor(plotCursor, client.x(), client.y(), imageRect.Width(), imageRect.Height()))
        return;
    RebuildImage();
    Present();
}

void CGraphWnd::MoveAt(QPoint client) {
    if (DragCursor(plotCursor, client.x(), client.y(), imageRect.Width(), imageRect.Height()))
        MoveCursorTo(client.x(), client.y());
    plotCursor.PointerShape =
        PointerShapeFor(client.x(), plotCursor, shown.measurement.kind == kKindField);
    ApplyPointerShape();
}

void CGraphWnd::RebuildImage() {
    ResetImage();
    DrawGrid();
    DrawTraces();
    DrawAnnotations();
}

void CGraphWnd::ApplyPointerShape() {
    setCursor(plotCursor.PointerShape == kPointerSizeWE ? Qt::SizeHorCursor : Qt::ArrowCursor);
}

PlotContext CGraphWnd::Context() const {
    return {imageRect.Width(), imageRect.Height(), plotCursor, shown, displayOptions};
}

PlotPainter& CGraphWnd::CurrentPainter() {
    return shown.measurement.kind != kKindField ? *spectrumPainter : *trendPainter;
}
