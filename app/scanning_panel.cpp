#include "app/scanning_panel.h"

#include <QLabel>

#include "res/main_dialog_template.h"
#include "ui/template_widgets.h"

namespace {
constexpr QColor kPanelColour(10, 100, 10);
constexpr int kPanelX = 120, kPanelY = 128;  // dialog units within the main window
}  // namespace

CScanningDlg::CScanningDlg(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(2);
    setGeometry(DialogRectToPixels(kPanelX, kPanelY, kScanningDialogTemplate.width,
                                   kScanningDialogTemplate.height));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kPanelColour);
    palette.setColor(QPalette::WindowText, Qt::white);
    setPalette(palette);
    auto controls = BuildControls(kScanningDialogTemplate, this);
    text_ = static_cast<QLabel*>(controls.at(kScanningTextId));
    text_->setPalette(palette);
    hide();
}

QString CScanningDlg::Text() const {
    return text_->text();
}
