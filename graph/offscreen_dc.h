#pragma once
// The off-screen image the graph and the banner draw into, and the frame both controls share.
// Drawing follows the device-context rules the plot layout was made for: antialiasing off, a
// line paints its start point and stops before its end point, rectangles exclude their right
// and bottom edges, and a text position is the top-left corner of its text cell. Every
// coordinate is an image pixel, origin top-left, y downwards. User-interface thread only.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QMargins>
#include <QPainter>
#include <QPoint>
#include <memory>
#include <string_view>

// Left, top, right, bottom in whole-control coordinates; right and bottom are exclusive.
struct WindowRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const WindowRect&) const = default;
};

// A sunken control: a black border all round plus a shadow row at the top and a light row at
// the bottom, so the client area is the control inset by 1 pixel left and right and 2 pixels
// top and bottom.
inline constexpr QMargins kSunkenFrameMargins{1, 2, 1, 2};
QRect ClientAreaOf(const QRect& controlRect);
void PaintSunkenFrame(QPainter& painter, const QRect& controlRect);

class COffscreenDC {
  public:
    // Null when the image cannot be made (an empty size or no memory for the pixels).
    // pixelRatio: the screen's device pixel ratio. Above 1 the image has that many pixels per
    // image pixel and text is drawn antialiased, so a scaled screen shows smooth text; at 1
    // every pixel is exactly as described here.
    static std::unique_ptr<COffscreenDC> Create(int width, int height, QColor fill,
                                                qreal pixelRatio = 1);

    COffscreenDC(const COffscreenDC&) = delete;
    COffscreenDC& operator=(const COffscreenDC&) = delete;
    ~COffscreenDC();

    int Width() const { return width; }
    int Height() const { return height; }
    // The pixels as drawn so far; valid as long as this object lives.
    const QImage& Image() const { return image; }

    // Widths 0 and 1 give a one-pixel line. A wider line is centred on its path: width w
    // covers the rows (or columns) from y - w/2 to y - w/2 + w - 1, so 2 covers y-1..y and
    // 4 covers y-2..y+1. Qt::DashLine is 18 pixels on, 6 off, counted from each line's
    // start, its gaps painted in the background colour while the background mode is opaque;
    // dashes exist only for one-pixel pens, a wider dashed pen draws solid.
    void SelectPen(QColor colour, int width, Qt::PenStyle style = Qt::SolidLine);
    void SelectSolidBrush(QColor colour);
    void SelectFont(const QFont& font);

    void MoveTo(int x, int y);
    // Draws from the current position up to, not including, (x, y), which becomes the
    // current position. A line of length 0 paints nothing.
    void LineTo(int x, int y);
    // Fills x in [left, right) and y in [top, bottom).
    void FillRect(int left, int top, int right, int bottom, QColor colour);
    // Text in the selected font and text colour with its cell's top-left corner at (x, y);
    // in opaque mode the whole cell is first filled with the background colour. The bytes
    // are single-byte Latin-1 text.
    void TextOut(int x, int y, std::string_view text);
    // The cell TextOut fills for `text` in the selected font: its width, and one line's height.
    int TextWidth(std::string_view text) const;
    int TextHeight() const;
    void SetTextColor(QColor colour);
    // Opaque (the default, white) fills text cells and dash gaps; transparent leaves them.
    void SetBkModeTransparent();
    void SetBkModeOpaque();

    // Stands in for the stock system font: DejaVu Sans at 11 pixels, a 13-pixel text cell
    // (10 above the baseline, 3 below), drawn without antialiasing so text pixels are
    // exactly the text colour.
    static QFont SystemFont();

  private:
    struct Pen {
        QColor colour;
        int width;
        Qt::PenStyle style;
    };

    COffscreenDC(int width, int height, QColor fill, qreal pixelRatio);
    QFont Shown(QFont font) const;
    void DrawThinLine(QPoint from, QPoint to);
    void DrawWideLine(QPoint from, QPoint to);
    bool DashIsOn(int pixelIndex) const;

    int width;
    int height;
    bool smoothText;
    QImage image;  // declared before the painter, which must end before the pixels go
    QPainter painter;
    Pen pen{Qt::black, 1, Qt::SolidLine};
    QPoint position{0, 0};
    QColor textColour{Qt::black};
    QColor backgroundColour{Qt::white};
    bool opaqueBackground = true;
};
