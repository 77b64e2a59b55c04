#include "ui/template_widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

namespace {

constexpr int kDialogFontPixels = 11;  // 8 points at 96 dpi

QWidget* MakeDefaultControl(const ControlTemplate& row, QWidget* parent) {
    const QString caption = ResourceText(row.caption);
    switch (row.kind) {
        case ControlKind::Static:
            return new QLabel(caption, parent);
        case ControlKind::StaticCentred: {
            auto* label = new QLabel(caption, parent);
            label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
            return label;
        }
        case ControlKind::StaticSunken: {
            auto* frame = new QFrame(parent);
            frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            return frame;
        }
        case ControlKind::Button: {
            auto* button = new QPushButton(caption, parent);
            button->setAutoDefault(false);
            return button;
        }
        case ControlKind::DefaultButton: {
            auto* button = new QPushButton(caption, parent);
            button->setDefault(true);
            return button;
        }
        case ControlKind::CheckBox:
            return new QCheckBox(caption, parent);
        case ControlKind::GroupBox:
            return new QGroupBox(caption, parent);
        case ControlKind::ComboList:
            return new QComboBox(parent);
        case ControlKind::ComboEdit: {
            auto* combo = new QComboBox(parent);
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
            return combo;
        }
        case ControlKind::Edit:
            return new QLineEdit(parent);
        case ControlKind::EditReadOnly: {
            auto* edit = new QLineEdit(parent);
            edit->setReadOnly(true);
            return edit;
        }
        case ControlKind::EditMultiReadOnly: {
            auto* edit = new QPlainTextEdit(parent);
            edit->setReadOnly(true);
            edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            return edit;
        }
        case ControlKind::ProgressBar:
            return new QProgressBar(parent);
    }
    return new QWidget(parent);
}

// A combo box's template height is that of its open list; the closed box is one line high.
QRect ControlRect(const ControlTemplate& row) {
    QRect rect = DialogRectToPixels(row.x, row.y, row.width, row.height);
    if (row.kind == ControlKind::ComboList || row.kind == ControlKind::ComboEdit)
        rect.setHeight(DialogUnitsToPixelsY(12) + 2);
    return rect;
}

}  // namespace

QRect DialogRectToPixels(int x, int y, int width, int height) {
    return QRect(DialogUnitsToPixelsX(x), DialogUnitsToPixelsY(y), DialogUnitsToPixelsX(width),
                 DialogUnitsToPixelsY(height));
}

QSize DialogSizeToPixels(const DialogTemplate& dialog) {
    return QSize(DialogUnitsToPixelsX(dialog.width), DialogUnitsToPixelsY(dialog.height));
}

QString ResourceText(const char* text) {
    QString s = QString::fromLatin1(text ? text : "");
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

std::map<int, QWidget*> BuildControls(const DialogTemplate& dialog, QWidget* parent,
                                      const ControlFactory& special) {
    std::map<int, QWidget*> controls;
    for (const ControlTemplate& row : dialog.controls) {
        QWidget* widget = special ? special(row, parent) : nullptr;
        if (!widget) widget = MakeDefaultControl(row, parent);
        widget->setGeometry(ControlRect(row));
        widget->setFont(DialogFont());
        if (row.flags & kHidden) widget->hide();
        if (row.id != kNoId) {
            widget->setObjectName(QString::number(row.id));
            controls[row.id] = widget;
        }
    }
    return controls;
}

QFont DialogFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(kDialogFontPixels);
    return font;
}
