#include "ui/message_box.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <deque>
#include <mutex>

#include "link/message_seam.h"
#include "res/main_dialog_template.h"

namespace {

// The title bar's icon and its minimise, maximise and close buttons beside the title.
constexpr int kTitleBarButtonsPx = 160;

void ShowBox(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kProgramTitle), text, QMessageBox::Ok,
                    owner);
    FitTitle(box);
    box.exec();
}

// Messages from other threads wait in a locked queue; the event that has the user-interface
// thread show them carries no data, so thread checkers see the hand-over.
std::mutex queueMutex;
std::deque<std::string> queuedMessages;  // guarded by queueMutex

class QueuedMessageShower : public QObject {
  public:
    explicit QueuedMessageShower(QPointer<QWidget> owner) : owner_(owner) {}

  protected:
    bool event(QEvent* event) override {
        if (event->type() != QEvent::User) return QObject::event(event);
        std::string text;
        {
            std::lock_guard lock(queueMutex);
            if (queuedMessages.empty()) return true;
            text = std::move(queuedMessages.front());
            queuedMessages.pop_front();
        }
        deleteLater();
        ShowBox(owner_, QString::fromLatin1(text.c_str()));
        return true;
    }

  private:
    QPointer<QWidget> owner_;
};

}  // namespace

// A message box sizes itself to its text alone; a spacer across its grid keeps it as wide as its
// title needs.
void FitTitle(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid) return;
    const int width = box.fontMetrics().horizontalAdvance(box.windowTitle()) + kTitleBarButtonsPx;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

bool AskYesNo(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kProgramTitle), text,
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    FitTitle(box);
    return box.exec() == QMessageBox::Yes;
}

void InstallMessageBoxes(QWidget* owner) {
    QPointer<QWidget> guarded(owner);
    SetMessageHandler([guarded](const std::string& text) {
        if (QThread::currentThread() == qApp->thread()) {
            ShowBox(guarded, QString::fromLatin1(text.c_str()));
            return;
        }
        {
            std::lock_guard lock(queueMutex);
            queuedMessages.push_back(text);
        }
        auto* shower = new QueuedMessageShower(guarded);
        shower->moveToThread(qApp->thread());
        QCoreApplication::postEvent(shower, new QEvent(QEvent::User));
    });
}
