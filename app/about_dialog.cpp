#include "app/about_dialog.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>

#include "res/main_dialog_template.h"
#include "ui/template_widgets.h"

namespace {
constexpr int kIconX = 11, kIconY = 10;  // dialog units
}  // namespace

QIcon ProgramIcon() {
    // The packaged PNGs are built in as resources; the desktop theme's icon wins where there is
    // one, so the window matches the launcher.
    QIcon icon;
    for (int size : {16, 32, 48, 64, 256}) {
        const QString path = QStringLiteral(":/icons/%1x%1/ferrolog.png").arg(size);
        if (QFile::exists(path)) icon.addFile(path, QSize(size, size));
    }
    return QIcon::fromTheme(QStringLiteral("ferrolog"), icon);
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
