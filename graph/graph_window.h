#pragma once
// The graph window (control 1026): an off-screen image rebuilt from scratch on every redraw
// and copied onto the control in one go, a grid drawn here, and the plot of the current
// reading drawn by one of two painters, the spectrum's or the field trend's, chosen by the
// reading's kind. The reading on show is its owner's (the main window's), read at each
// redraw; the plot cursor, which the left button sets and drags, and the display options are
// the graph's own. User-interface thread only.

#include <QWidget>
#include <memory>
#include <string>

#include "graph/offscreen_dc.h"
#include "graph/plot_geometry.h"
#include "graph/plot_painter.h"

// Control 1026: 365 x 175 dialog units, so a 545 x 280 client area inside the sunken frame.
inline constexpr int kGraphControlWidth = 547;
inline constexpr int kGraphControlHeight = 284;

class CGraphWnd : public QWidget {
    Q_OBJECT

  public:
    // `shown` is read at every redraw and outlives the graph.
    explicit CGraphWnd(const PlotReading& shown, QWidget* parent = nullptr);
    ~CGraphWnd() override;

    // The spectrum and field trend painters are installed at construction; null puts one
    // that draws nothing in their place.
    void SetSpectrumPainter(std::unique_ptr<PlotPainter> painter);
    void SetTrendPainter(std::unique_ptr<PlotPainter> painter);

    // Builds the first picture without showing it; it appears with the first repaint.
    void RenderAll();
    // Inside the bounds: rebuilds the image with the cursor placed at (x, y). Always ends
    // with Present. CursorPoint is the caller's to set.
    void MoveCursorTo(int x, int y);
    // Redraws at CursorPoint.
    void Refresh();
    // Asks for a repaint, which copies the current image to (imageRect.left, imageRect.top).
    void Present();

    // The steps of a redraw. ResetImage replaces the image with a white one of
    // (cw + 1) x (ch + 1) for a client area of cw x ch; the others draw into it and do
    // nothing while there is no image.
    void ResetImage();
    void DrawGrid();
    void DrawTraces();
    void DrawAnnotations();

    // A fetch's mark ("...", "Please wait...") drawn straight into the image, in the text
    // colour and background mode the image holds (black on white unless a painter changed
    // them); it shows with the next Present.
    void DrawStatusText(const std::string& text, int x, int y);

    // The plot cursor and the display options the next redraw uses.
    CursorState& Cursor() { return plotCursor; }
    const CursorState& Cursor() const { return plotCursor; }
    DisplayOptions& Options() { return displayOptions; }
    const DisplayOptions& Options() const { return displayOptions; }

    // Null until the first redraw, or when the image could not be made.
    const QImage* CurrentImage() const;
    const WindowRect& ImageRect() const { return imageRect; }
    // Where mouse positions are measured from, in widget coordinates.
    QPoint ClientOrigin() const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool ToClient(const QMouseEvent& event, QPoint& client) const;
    void PressAt(QPoint client);
    void MoveAt(QPoint client);
    void RebuildImage();
    void ApplyPointerShape();
    PlotContext Context() const;
    PlotPainter& CurrentPainter();

    const PlotReading& shown;
    CursorState plotCursor;
    DisplayOptions displayOptions;

    std::unique_ptr<COffscreenDC> image;
    WindowRect imageRect;  // whole-control coordinates; its size is the image's
    std::unique_ptr<PlotPainter> spectrumPainter;
    std::unique_ptr<PlotPainter> trendPainter;
};
