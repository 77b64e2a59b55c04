#include "ui/label_ctrl.h"

#include <QPaintEvent>
#include <QPainter>
#include <cmath>
#include <string>

namespace {

constexpr std::size_t kFaceNameBytes = 31;  // a face name field holds 31 bytes and a nul
constexpr double kDisplayDpi = 96.0;
constexpr double kPointsPerInch = 72.0;

int PointsToPixels(int points) {
    return static_cast<int>(std::lround(points * kDisplayDpi / kPointsPerInch));
}

}  // namespace

CLabelCtrl::CLabelCtrl(QWidget* parent) : CLabelCtrl(QString(), parent) {}

CLabelCtrl::CLabelCtrl(const QString& text, QWidget* parent)
    : QLabel(text, parent),
      textColor(palette().color(QPalette::ButtonText)),
      backColor(palette().color(QPalette::Button)) {
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

CLabelCtrl::~CLabelCtrl() = default;

void CLabelCtrl::SetLabelColor(QColor colour, bool redraw) {
    textColor = colour;
    if (redraw) repaint();
}

void CLabelCtrl::SetLabelBold(bool isBold, bool redraw) {
    bold = isBold;
    RebuildFont(font(), redraw);
}

void CLabelCtrl::SetLabelFont(const char* face, int points, bool redraw) {
    QFont description;
    if (face) {
        description = QFont(QString::fromLatin1(std::string(face).substr(0, kFaceNameBytes)));
    } else {
        description = font();
    }
    description.setPixelSize(PointsToPixels(points));
    RebuildFont(description, redraw);
}

QFont CLabelCtrl::LabelFont() const {
    return fontReady ? labelFont : font();
}

void CLabelCtrl::RebuildFont(QFont description, bool redraw) {
    description.setWeight(bold ? QFont::Bold : QFont::Normal);
    labelFont = description;
    fontReady = true;
    if (redraw) repaint();
}

int CLabelCtrl::TextFlags() const {
    int flags = Qt::TextShowMnemonic;  // "&x" underlines x, as in button captions
    if (alignment() & Qt::AlignHCenter)
        flags |= Qt::AlignHCenter;
    else if (alignment() & Qt::AlignRight)
        flags |= Qt::AlignRight;
    else
        flags |= Qt::AlignLeft;
    if (alignment() & Qt::AlignVCenter)
        flags |= Qt::AlignVCenter | Qt::TextSingleLine;
    else
        flags |= Qt::AlignTop | Qt::TextWordWrap;
    return flags;
}

void CLabelCtrl::paintEvent(QPaintEvent*) {
    if (!fontReady) {
        labelFont = font();
        fontReady = true;
    }
    QPainter painter(this);
    painter.fillRect(rect(), backColor);
    painter.setFont(labelFont);
    painter.setPen(textColor);
    painter.drawText(rect(), TextFlags(), text());
}
