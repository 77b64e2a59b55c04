#include "app/view_window.h"

#include <QBuffer>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>

#include "graph/long_term_plot.h"
#include "graph/long_term_view.h"
#include "graph/waterfall_view.h"
#include "link/message_seam.h"
#include "measure/measurement_file.h"
#include "measure/whole_file.h"
#include "record/long_term.h"
#include "res/main_dialog_template.h"
#include "ui/file_dialog.h"

namespace {

constexpr FileFilter kPngFilters[] = {{"PNG (*.png)", "*.png"}};
constexpr const char* kPngExtension = ".png";
constexpr const char* kViewWindowPath = "ferrologViewPath";
constexpr int kWindowWidth = 900;
constexpr int kWindowHeight = 480;
constexpr int kNarrowestWidth = 480;
constexpr int kCascadeStep = 28;  // each further view window sits this far down and right
constexpr int kCascadeLength = 8;
constexpr int kCaptionHeight = 22;  // the file name and the dates above an exported picture
constexpr int kCaptionFontPixels = 12;

void ExportThroughDialog(QWidget* window, QWidget* view) {
    CFileLocalDlg dialog(false, "", kPngFilters, window);
    if (!dialog.DoModal() || dialog.PathName().empty()) return;
    const std::string path = WithExtension(dialog.PathName(), kPngExtension);
    std::string error;
    ::ShowMessage(ExportViewPng(view, path, &error) ? std::string(kFileSaved) : error);
}

QSpinBox* LevelBox(QWidget* row, QHBoxLayout* layout, const char* caption, int value) {
    auto* label = new QLabel(QString::fromLatin1(caption), row);
    auto* box = new QSpinBox(row);
    box->setRange(kFloorDbm, 127);
    box->setSuffix(QStringLiteral(" dBm"));
    box->setValue(value);
    label->setBuddy(box);
    layout->addWidget(label);
    layout->addWidget(box);
    return box;
}

// The floor and the ceiling of the waterfall's colours, as the view has them until set here.
void AddLevelBoxes(QWidget* row, QHBoxLayout* layout, WaterfallView* view) {
    QSpinBox* floor = LevelBox(row, layout, kFloorCaption, view->FloorDbm());
    QSpinBox* ceiling = LevelBox(row, layout, kCeilingCaption, view->CeilingDbm());
    const auto apply = [view, floor, ceiling] {
        view->SetLevelRange(floor->value(), ceiling->value());
    };
    QObject::connect(floor, &QSpinBox::valueChanged, view, apply);
    QObject::connect(ceiling, &QSpinBox::valueChanged, view, apply);
    QObject::connect(view, &WaterfallView::levelRangeChanged, row,
                     [floor, ceiling](int floorDbm, int ceilingDbm) {
                         const QSignalBlocker quietFloor(floor);
                         const QSignalBlocker quietCeiling(ceiling);
                         floor->setValue(floorDbm);
                         ceiling->setValue(ceilingDbm);
                     });
}

QWidget* ButtonRow(QWidget* window, QWidget* view) {
    auto* row = new QWidget(window);
    row->setObjectName(QStringLiteral("buttons"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(6, 4, 6, 4);
    if (auto* waterfall = qobject_cast<WaterfallView*>(view)) AddLevelBoxes(row, layout, waterfall);
    layout->addStretch();
    auto* showAll = new QPushButton(QString::fromLatin1(kShowAllCaption), row);
    if (auto* trend = qobject_cast<LongTermView*>(view))
        QObject::connect(showAll, &QPushButton::clicked, trend, &LongTermView::ShowAll);
    if (auto* waterfall = qobject_cast<WaterfallView*>(view))
        QObject::connect(showAll, &QPushButton::clicked, waterfall, &WaterfallView::ShowAll);
    layout->addWidget(showAll);
    auto* exportPng = new QPushButton(QString::fromLatin1(kExportPngCaption), row);
    QObject::connect(exportPng, &QPushButton::clicked, window,
                     [window, view] { ExportThroughDialog(window, view); });
    layout->addWidget(exportPng);
    return row;
}

// Beside the main window on the side the screen has more room (narrowed to it, down to a
// usable width), each further view window a step down and right of the last, all of it on
// the screen.
void PlaceBesideMainWindow(QWidget* window, QWidget* parent) {
    QWidget* main = parent ? parent->window() : nullptr;
    QScreen* screen = main ? main->screen() : window->screen();
    const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
    const QRect beside = main ? main->frameGeometry() : QRect(room.topLeft(), QSize());
    // The frame the window system adds, known once it has been shown.
    const QSize frame = window->frameGeometry().size() - window->size();
    const int rightRoom = room.right() - beside.right() - frame.width();
    const int leftRoom = beside.left() - room.left() - frame.width();
    const int width = std::min({kWindowWidth, room.width() - frame.width(),
                                std::max(kNarrowestWidth, std::max(rightRoom, leftRoom))});
    // Its layout may need more than the room: it is placed by what it will really take.
    const int placed = std::max(width, window->minimumSizeHint().width());
    window->resize(placed, std::min(kWindowHeight, room.height() - frame.height()));
    const QSize outer = window->size() + frame;
    int shown = 0;
    if (parent)
        for (QWidget* other : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            shown += other != window && other->isWindow() && other->isVisible() &&
                     other->property(kViewWindowPath).isValid();
    QPoint at(rightRoom >= leftRoom ? beside.right() + 1 : beside.left() - outer.width(),
              beside.top());
    at += QPoint(kCascadeStep, kCascadeStep) * (shown % kCascadeLength);
    at.setX(
        std::clamp(at.x(), room.left(), std::max(room.left(), room.right() + 1 - outer.width())));
    at.setY(
        std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() + 1 - outer.height())));
    window->move(at);
}

// The picture with the file's name and the first and last time on show above it.
QImage Captioned(const QImage& picture, const QString& caption) {
    QImage image(picture.width(), picture.height() + kCaptionHeight, QImage::Format_RGB32);
    if (image.isNull() || picture.isNull()) return {};
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font;
    font.setPixelSize(kCaptionFontPixels);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QRect line(6, 0, image.width() - 12, kCaptionHeight);
    painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter,
                     painter.fontMetrics().elidedText(caption, Qt::ElideMiddle, line.width()));
    painter.drawImage(0, kCaptionHeight, picture);
    return image;
}

QString SpanText(int64_t t0, int64_t t1, ClockTimes clock) {
    return QString::fromStdString(ClockText(t0, clock) + " to " + ClockText(t1, clock));
}

// What `view` shows, as it is drawn without the pointer, and its caption.
QImage ViewPicture(QWidget* view) {
    const QString name = QFileInfo(view->window()->property(kViewWindowPath).toString()).fileName();
    if (auto* trend = qobject_cast<const LongTermView*>(view))
        return Captioned(
            RenderTrendImage(trend->Series(), trend->SpanStart(), trend->SpanEnd(), trend->width(),
                             trend->height()),
            name + "   " + SpanText(trend->SpanStart(), trend->SpanEnd(), trend->Series().clock));
    if (auto* waterfall = qobject_cast<const WaterfallView*>(view)) {
        const auto [t0, t1] = waterfall->TimesShown();
        return Captioned(waterfall->Picture(), name + "   " + SpanText(t0, t1, ClockTimes::Local));
    }
    return Captioned(view->grab().toImage(), name);
}

}  // namespace

QWidget* ShowInViewWindow(QWidget* parent, QWidget* view, const std::string& path) {
    auto* window = new QWidget(parent, Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setProperty(kViewWindowPath, QString::fromStdString(path));
    window->setWindowTitle(
        QString("%1 - %2").arg(QFileInfo(QString::fromStdString(path)).fileName(), kProgramTitle));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    view->setParent(window);
    layout->addWidget(view, 1);
    layout->addWidget(ButtonRow(window, view));
    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    QObject::connect(close, &QShortcut::activated, window, &QWidget::close);
    PlaceBesideMainWindow(window, parent);
    window->show();
    PlaceBesideMainWindow(window, parent);  // again by the size its layout took on showing
    view->setFocus();
    return window;
}

QPushButton* AddViewButton(QWidget* window, const char* caption, std::function<void()> clicked) {
    auto* row = window->findChild<QWidget*>(QStringLiteral("buttons"));
    auto* button = new QPushButton(QString::fromLatin1(caption), row);
    QObject::connect(button, &QPushButton::clicked, window, std::move(clicked));
    static_cast<QHBoxLayout*>(row->layout())->insertWidget(row->layout()->count() - 2, button);
    return button;
}

bool SavePictureAsPng(const QImage& image, const std::string& path, std::string* error) {
    QByteArray data;
    QBuffer buffer(&data);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
        if (error) *error = path + ": the picture could not be drawn";
        return false;
    }
    std::string why;
    if (WriteFileWhole(path, std::string_view(data.constData(), data.size()), &why)) return true;
    if (error) *error = path + ": " + why;
    return false;
}

bool ExportViewPng(QWidget* view, const std::string& path, std::string* error) {
    return SavePictureAsPng(ViewPicture(view), path, error);
}
