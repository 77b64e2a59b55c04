#include "ui/message_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QThread>

#include "link/message_seam.h"
#include "res/main_dialog_template.h"

namespace {

void ShowBox(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kProgramTitle), text, QMessageBox::Ok,
                    owner);
    box.exec();
}

}  // namespace

void InstallMessageBoxes(QWidget* owner) {
    QPointer<QWidget> guarded(owner);
    SetMessageHandler([guarded](const std::string& text) {
        const QString message = QString::fromLatin1(text.c_str());
        if (QThread::currentThread() == qApp->thread()) {
            ShowBox(guarded, message);
            return;
        }
        QMetaObject::invokeMethod(
            qApp, [guarded, message] { ShowBox(guarded, message); }, Qt::QueuedConnection);
    });
}
