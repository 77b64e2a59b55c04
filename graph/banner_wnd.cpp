#include "graph/banner_wnd.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

#include "res/version_texts.h"

namespace {

constexpr int kImageLeft = 3;
constexpr int kImageTop = 4;
constexpr int kImageOverhang = 4;  // imageRect's right and bottom past the client size

const QColor kPaper(180, 200, 253);  // the screen mirror's paper colour
const QColor kControlBackground(0, 0, 0);

constexpr int kFullStretch = 100;  // QFont::setStretch's unstretched width
constexpr int kNoticeWidth = 384;  // the mirrored screen's size
constexpr int kNoticeHeight = 192;

// A text's font is given by its cell: the height of the whole text cell and the average
// character width, both in pixels, as the face was designed for.
struct BannerText {
    const char* text;
    int cellHeight;
    int averageWidth;
    bool italic;
    QRgb colour;
    int x, y;  // top-left corner of the text cell
};

// clang-format off
constexpr BannerText kBannerTexts[] = {
    {"HX",               80, 40, true,  qRgb(0, 145, 0),     125,  20},
    {"Ferrolog",         50, 25, false, qRgb(0, 0, 0),        60, 110},
    {kBannerVersionText, 18,  9, false, qRgb(0, 0, 255),     320, 170},
    {"TM",               18,  9, false, qRgb(100, 100, 100), 265,  30},
};
// clang-format on

// The largest pixel size whose text cell is no taller than cellHeight.
int PixelSizeForCell(QFont font, int cellHeight) {
    int pixels = cellHeight;
    for (; pixels > 1; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).height() <= cellHeight) break;
    }
    return pixels;
}

// Whatever serif face stands in for the requested one is fitted to the cell: its height by
// the pixel size, its average width by a horizontal stretch.
QFont BannerFont(const BannerText& text) {
    QFont font(QStringLiteral("Times New Roman"));
    font.setBold(true);
    font.setItalic(text.italic);
    font.setPixelSize(PixelSizeForCell(font, text.cellHeight));
    const int average = QFontMetrics(font).averageCharWidth();
    if (average > 0) font.setStretch(kFullStretch * text.averageWidth / average);
    return font;
}

}  // namespace

CBannerWnd::CBannerWnd(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CBannerWnd::~CBannerWnd() = default;

void CBannerWnd::Build() {
    const QRect client = ClientAreaOf(rect());
    imageRect = WindowRect{kImageLeft, kImageTop, client.width() + kImageOverhang,
                           client.height() + kImageOverhang};
    image.reset();
    image = COffscreenDC::Create(imageRect.Width(), imageRect.Height(), kPaper);
    if (!image) return;
    image->SetBkModeTransparent();
    for (const BannerText& text : kBannerTexts) {
        image->SelectFont(BannerFont(text));
        image->SetTextColor(QColor(text.colour));
        image->TextOut(text.x, text.y, text.text);
    }
}

void CBannerWnd::Present() {
    if (!image) return;
    shown = Shown::Banner;
    update();
}

void CBannerWnd::ShowScreenImage(const QImage& screen) {
    screenImage = screen;
    shown = Shown::Screen;
    update();
}

void CBannerWnd::ShowNotice(const QString& text) {
    if (shown == Shown::Notice && notice == text) return;
    notice = text;
    shown = Shown::Notice;
    update();
}

const QImage* CBannerWnd::CurrentImage() const {
    return image ? &image->Image() : nullptr;
}

QSize CBannerWnd::sizeHint() const {
    return QSize(kBannerControlWidth, kBannerControlHeight);
}

void CBannerWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(ClientAreaOf(rect()), kControlBackground);
    PaintSunkenFrame(painter, rect());
    if (shown == Shown::Banner && image)
        painter.drawImage(QPoint(imageRect.left, imageRect.top), image->Image());
    else if (shown == Shown::Screen)
        painter.drawImage(kScreenImageOrigin, screenImage);
    else if (shown == Shown::Notice) {
        const QRect area(kScreenImageOrigin, QSize(kNoticeWidth, kNoticeHeight));
        painter.fillRect(area, kPaper);
        painter.setPen(Qt::black);
        painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, notice);
    }
}
