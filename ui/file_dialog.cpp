#include "ui/file_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <utility>

#include "ui/message_box.h"

namespace {

constexpr const char* kScriptHolderName = "ferrolog-file-dialog-script";

// The script hangs off the application object that every dialog shares.
class ScriptHolder : public QObject {
  public:
    explicit ScriptHolder(QObject* application) : QObject(application) {
        setObjectName(QString::fromLatin1(kScriptHolderName));
    }
    CFileLocalDlg::Script script;
};

ScriptHolder* FindScriptHolder() {
    return static_cast<ScriptHolder*>(qApp->findChild<QObject*>(
        QString::fromLatin1(kScriptHolderName), Qt::FindDirectChildrenOnly));
}

CFileLocalDlg::Script CurrentScript() {
    const ScriptHolder* holder = FindScriptHolder();
    return holder ? holder->script : CFileLocalDlg::Script{};
}

// Qt reads the patterns from the last bracket of a filter: "Both Files (BIN and CSV) (*.*)".
// A label that already ends with its pattern ("CSV (*.csv)") is shown as it is.
QString NameFilter(const FileFilter& filter) {
    const QString label = QString::fromLatin1(filter.label);
    const QString pattern = QString::fromLatin1(filter.pattern);
    const QString bracket = QStringLiteral("(%1)").arg(pattern);
    if (label.endsWith(bracket)) return label;
    return QStringLiteral("%1 %2").arg(label, bracket);
}

}  // namespace

CFileLocalDlg::CFileLocalDlg(bool open, const std::string& initialName,
                             std::span<const FileFilter> filters, QWidget* parent)
    : open_(open), initialName_(initialName), filters_(filters), parent_(parent) {
    // Before the user picks one, the dialog reports this type.
    filterLabel_ = kInitialFilterLabel;
}

void CFileLocalDlg::SetScript(Script newScript) {
    ScriptHolder* holder = FindScriptHolder();
    if (!holder) holder = new ScriptHolder(qApp);
    holder->script = std::move(newScript);
}

bool CFileLocalDlg::DoModal() {
    if (!ChoosePath()) return false;
    if (open_ || extension_.empty() || path_.empty()) return true;
    path_ = WithExtension(path_, extension_);
    return MayReplace();
}

// Asked about the name that will be written, not the one typed: "meas1" may replace meas1.csv.
bool CFileLocalDlg::MayReplace() const {
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path_, error))) return true;
    const QString name = QFileInfo(QString::fromLocal8Bit(path_.c_str())).fileName();
    return AskYesNo(parent_,
                    QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(name));
}

bool CFileLocalDlg::ChoosePath() {
    if (Script answer = CurrentScript()) {
        std::optional<std::string> chosen = answer(*this);
        if (!chosen) return false;
        path_ = *chosen;
        if (!filters_.empty()) filterLabel_ = filters_.front().label;
        return true;
    }
    QFileDialog dialog(parent_);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(open_ ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open_ ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    // The question comes once, about the name with its extension (MayReplace).
    if (!extension_.empty()) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    QStringList nameFilters;
    for (const FileFilter& filter : filters_)
        nameFilters << NameFilter(filter);
    dialog.setNameFilters(nameFilters);
    if (!initialName_.empty()) dialog.selectFile(QString::fromLocal8Bit(initialName_.c_str()));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path_ = dialog.selectedFiles().front().toLocal8Bit().toStdString();
    const int chosen = nameFilters.indexOf(dialog.selectedNameFilter());
    if (chosen >= 0) filterLabel_ = filters_[static_cast<size_t>(chosen)].label;
    return true;
}

namespace {

// A worker's question for the user-interface thread. It waits in its taker's locked slot; the
// event that tells the user-interface thread to take it carries no data, so thread checkers
// that cannot see inside the toolkit's queue still see the hand-over (the mutex, and the
// promise back).
struct FileQuestion {
    std::function<std::optional<std::string>()> ask;
    std::promise<std::optional<std::string>> answer;
};

class FileQuestionTaker : public QObject {
  public:
    explicit FileQuestionTaker(FileQuestion* question) {
        std::lock_guard lock(mutex_);
        question_ = question;
    }

  protected:
    bool event(QEvent* event) override {
        if (event->type() != QEvent::User) return QObject::event(event);
        FileQuestion* question = nullptr;
        {
            std::lock_guard lock(mutex_);
            question = std::exchange(question_, nullptr);
        }
        if (question) question->answer.set_value(question->ask());
        deleteLater();
        return true;
    }

  private:
    std::mutex mutex_;
    FileQuestion* question_ = nullptr;  // guarded by mutex_
};

}  // namespace

std::optional<std::string> ChooseFileFromWorker(bool open, const std::string& initialName,
                                                std::span<const FileFilter> filters,
                                                QWidget* parent) {
    auto ask = [=]() -> std::optional<std::string> {
        CFileLocalDlg dialog(open, initialName, filters, parent);
        if (dialog.DoModal() && !dialog.PathName().empty()) return dialog.PathName();
        return std::nullopt;
    };
    if (QThread::currentThread() == qApp->thread()) return ask();
    FileQuestion question{ask, {}};
    std::future<std::optional<std::string>> chosen = question.answer.get_future();
    auto* taker = new FileQuestionTaker(&question);
    taker->moveToThread(qApp->thread());
    QCoreApplication::postEvent(taker, new QEvent(QEvent::User));
    return chosen.get();
}
