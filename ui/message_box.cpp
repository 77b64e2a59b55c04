#include "ui/message_box.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <deque>
#include <memory>
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

// Messages from other threads wait in a locked queue, owned by the installed handler and the
// events it posted; the event that has the user-interface thread show them carries no data, so
// thread checkers see the hand-over.
struct MessageQueue {
    std::mutex mutex;
    std::deque<std::string> texts;  // guarded by mutex
};

class QueuedMessageShower : public QObject {
  public:
    QueuedMessageShower(QPointer<QWidget> owner, std::shared_ptr<MessageQueue> queue)
        : owner_(owner), queue_(std::move(queue)) {}

  protected:
    bool event(QEvent* event) override {
        if (event->type() != QEvent::User) return QObject::event(event);
        std::string text;
        {
            std::lock_guard lock(queue_->mutex);
            if (queue_->texts.empty()) return true;
            text = std::move(queue_->texts.front());
            queue_->texts.pop_front();
        }
        deleteLater();
        ShowBox(owner_, QString::fromLatin1(text.c_str()));
        return true;
    }

  private:
    QPointer<QWidget> owner_;
    std::shared_ptr<MessageQueue> queue_;
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
    auto queue = std::make_shared<MessageQueue>();
    SetMessageHandler([guarded, queue](const std::string& text) {
        if (QThread::currentThread() == qApp->thread()) {
            ShowBox(guarded, QString::fromLatin1(text.c_str()));
            return;
        }
        {
            std::lock_guard lock(queue->mutex);
            queue->texts.push_back(text);
        }
        auto* shower = new QueuedMessageShower(guarded, queue);
        shower->moveToThread(qApp->thread());
        QCoreApplication::postEvent(shower, new QEvent(QEvent::User));
    });
}
