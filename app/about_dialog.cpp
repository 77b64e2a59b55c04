#include "app/about_dialog.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "res/main_dialog_template.h"
#include "ui/template_widgets.h"

namespace {
constexpr QColor kIconPaper(180, 200, 253);
constexpr QColor kIconInk(0, 145, 0);
constexpr int kIconX = 11, kIconY = 10;  // dialog units
}  // namespace

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(kIconPaper);
        QPainter painter(&pixmap);
        painter.setPen(QPen(Qt::black, std::max(1, size / 16)));
        painter.drawRect(0, 0, size - 1, size - 1);
        QFont font(QStringLiteral("Times New Roman"));
        font.setBold(true);
        font.setItalic(true);
        font.setPixelSize(size * 5 / 8);
        painter.setFont(font);
        painter.setPen(kIconInk);
        painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("HX"));
        icon.addPixmap(pixmap);
    }
    return icon;
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(kAboutDialogTemplate.caption));
    setFixedSize(DialogSizeToPixels(kAboutDialogTemplate));
    auto controls = BuildControls(kAboutDialogTemplate, this);
    auto* iconLabel = new QLabel(this);
    iconLabel->setPixmap(ProgramIcon().pixmap(32, 32));
    iconLabel->move(DialogUnitsToPixelsX(kIconX), DialogUnitsToPixelsY(kIconY));
    connect(static_cast<QPushButton*>(controls.at(kIdOk)), &QPushButton::clicked, this,
            &QDialog::accept);
}
