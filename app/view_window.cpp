#include "app/view_window.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>
#include <QWidget>

#include "graph/long_term_view.h"
#include "link/message_seam.h"
#include "measure/measurement_file.h"
#include "res/main_dialog_template.h"
#include "ui/file_dialog.h"

namespace {

constexpr FileFilter kPngFilters[] = {{"PNG (*.png)", "*.png"}};
constexpr const char* kPngExtension = ".png";

void ExportThroughDialog(QWidget* window, QWidget* view) {
    CFileLocalDlg dialog(false, "", kPngFilters, window);
    if (!dialog.DoModal() || dialog.PathName().empty()) return;
    const std::string path = WithExtension(dialog.PathName(), kPngExtension);
    std::string error;
    ::ShowMessage(ExportViewPng(view, path, &error) ? std::string(kFileSaved)
                                                    : path + ": " + error);
}

QWidget* ButtonRow(QWidget* window, QWidget* view) {
    auto* row = new QWidget(window);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->addStretch();
    if (auto* trend = qobject_cast<LongTermView*>(view)) {
        auto* showAll = new QPushButton(QString::fromLatin1(kShowAllCaption), row);
        QObject::connect(showAll, &QPushButton::clicked, trend, &LongTermView::ShowAll);
        layout->addWidget(showAll);
    }
    auto* exportPng = new QPushButton(QString::fromLatin1(kExportPngCaption), row);
    QObject::connect(exportPng, &QPushButton::clicked, window,
                     [window, view] { ExportThroughDialog(window, view); });
    layout->addWidget(exportPng);
    return row;
}

}  // namespace

QWidget* ShowInViewWindow(QWidget* parent, QWidget* view, const std::string& path) {
    auto* window = new QWidget(parent, Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(
        QString("%1 - %2").arg(QFileInfo(QString::fromStdString(path)).fileName(), kProgramTitle));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    view->setParent(window);
    layout->addWidget(view, 1);
    layout->addWidget(ButtonRow(window, view));
    window->resize(900, 480);
    window->show();
    return window;
}

bool ExportViewPng(QWidget* view, const std::string& path, std::string* error) {
    if (auto* trend = qobject_cast<const LongTermView*>(view)) return trend->ExportPng(path, error);
    const QImage image = view->grab().toImage();
    // QSaveFile writes beside the name and renames only once the picture is whole.
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        *error = file.errorString().isEmpty() ? "the picture could not be written"
                                              : file.errorString().toStdString();
        return false;
    }
    return true;
}
