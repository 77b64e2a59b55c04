#include "history/history_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <mutex>
#include <optional>
#include <utility>

#include "link/link_timing.h"
#include "link/message_seam.h"
#include "link/meter_identity.h"
#include "link/port_guard.h"
#include "measure/measurement_file.h"
#include "res/history_dialog_template.h"
#include "ui/file_dialog.h"
#include "ui/template_widgets.h"

namespace {

constexpr int kCloseCheckMs = 100;
constexpr int kProgressMinimum = 1;
constexpr int kProgressMaximum = 100;
constexpr int kWorkerPollMs = 1;

QString Text(const std::string& text) {
    return QString::fromLatin1(text.c_str());
}

}  // namespace

// The worker's side of the dialog: every change of a widget waits in a locked slot (the
// latest value of each wins) and a data-free queued notification has the user-interface
// thread take them, so thread checkers see the hand-over. The file dialog runs there while
// the worker waits for its answer through a future.
class CHistoryDlg::WorkerView : public HistoryView {
  public:
    explicit WorkerView(CHistoryDlg* dialog) : dialog_(dialog) {}

    std::optional<std::string> ChooseSavePath(const std::string& initialName) override {
        return ChooseFileFromWorker(false, initialName, kSaveFilters, dialog_);
    }
    void SetStatus(const std::string& text) override {
        Post([&](Pending& p) { p.status = Text(text); });
    }
    void SetProgress(int percent, size_t) override {
        Post([&](Pending& p) { p.progress = percent; });
    }
    void SetDownloadCaption(const std::string& text) override {
        Post([&](Pending& p) { p.downloadCaption = Text(text); });
    }
    void SetExitCaption(const std::string& text) override {
        Post([&](Pending& p) { p.exitCaption = Text(text); });
    }
    // Said by the user-interface thread once the files are written (ShowSaved).
    void ShowFinished(const std::string&) override {}

    // User-interface thread: applies what the worker has handed over.
    void TakeChanges() {
        Pending changes;
        {
            std::lock_guard lock(mutex_);
            changes = std::exchange(pending_, Pending{});
        }
        if (changes.status) dialog_->status_->setText(*changes.status);
        if (changes.progress) dialog_->progress_->setValue(*changes.progress);
        if (changes.downloadCaption) dialog_->downloadButton_->setText(*changes.downloadCaption);
        if (changes.exitCaption) dialog_->exitButton_->setText(*changes.exitCaption);
    }

  private:
    struct Pending {
        std::optional<QString> status;
        std::optional<int> progress;
        std::optional<QString> downloadCaption;
        std::optional<QString> exitCaption;
        bool notified = false;
    };

    template <typename Change>
    void Post(Change change) {
        bool notify = false;
        {
            std::lock_guard lock(mutex_);
            change(pending_);
            notify = !pending_.notified;
            pending_.notified = true;
        }
        if (notify) QMetaObject::invokeMethod(dialog_, "TakeWorkerChanges", Qt::QueuedConnection);
    }

    CHistoryDlg* dialog_;
    std::mutex mutex_;
    Pending pending_;
};

CHistoryDlg::CHistoryDlg(QWidget* parent, CSerialPort& port)
    : QDialog(parent), view_(std::make_unique<WorkerView>(this)), download_(port, *view_) {
    download_.LeaveFilesToCaller();
    setWindowTitle(QString::fromLatin1(kHistoryDialogTemplate.caption));
    setFont(DialogFont());
    setFixedSize(DialogSizeToPixels(kHistoryDialogTemplate));
    auto controls = BuildControls(kHistoryDialogTemplate, this);
    exitButton_ = static_cast<QPushButton*>(controls.at(kIdHistoryExit));
    status_ = static_cast<QLabel*>(controls.at(kIdHistoryStatus));
    downloadButton_ = static_cast<QPushButton*>(controls.at(kIdHistoryDownload));
    progress_ = static_cast<QProgressBar*>(controls.at(kIdHistoryProgress));

    progress_->setRange(kProgressMinimum, kProgressMaximum);
    progress_->setValue(kProgressMinimum);
    progress_->setTextVisible(false);
    connect(downloadButton_, &QPushButton::clicked, this, &CHistoryDlg::OnDownload);
    connect(exitButton_, &QPushButton::clicked, this, &CHistoryDlg::OnExit);

    Flags().Clear();
    connect(&closeTimer_, &QTimer::timeout, this, &CHistoryDlg::OnCloseTimer);
    closeTimer_.start(kCloseCheckMs);
}

CHistoryDlg::~CHistoryDlg() {
    ending_ = true;
    closeTimer_.stop();
    if (workerActive_) Flags().HistoryCancel = true;
    WaitForWorker();
}

void CHistoryDlg::TakeWorkerChanges() {
    view_->TakeChanges();
}

void CHistoryDlg::OnDownload() {
    if (Flags().HistoryDownloading) {
        Flags().HistoryStopSave = true;
        downloadButton_->setText(QString::fromLatin1(kHistoryPleaseWaitButton));
        return;
    }
    // Pressed again while the worker's file dialog is up, or while it saves: one at a time.
    if (busy_) return;
    Flags().HistoryCancel = false;
    StartWorker();
}

void CHistoryDlg::OnExit() {
    if (Flags().HistoryDownloading) {
        Flags().HistoryCancel = true;
        return;
    }
    RequestClose();
}

// Idle: close at once. A worker still in its file dialog or letting go is cancelled and the
// close timer ends the dialog once it has finished.
void CHistoryDlg::RequestClose() {
    if (!busy_) {
        WaitForWorker();
        QDialog::done(QDialog::Accepted);
        return;
    }
    Flags().HistoryCancel = true;
    Flags().HistoryCloseRequested = true;
}

void CHistoryDlg::OnCloseTimer() {
    if (!Flags().HistoryCloseRequested || Flags().HistoryDownloading || busy_) return;
    closeTimer_.stop();
    WaitForWorker();
    QDialog::done(QDialog::Accepted);
}

void CHistoryDlg::accept() {
    OnExit();
}

void CHistoryDlg::reject() {
    OnExit();
}

void CHistoryDlg::closeEvent(QCloseEvent* event) {
    Flags().HistoryCancel = true;
    Flags().HistoryCloseRequested = true;
    event->ignore();
}

// Enter presses the focused button, as on any dialog; elsewhere it counts as Exit.
void CHistoryDlg::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter) {
        QDialog::keyPressEvent(event);
        return;
    }
    if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
        button->click();
    else
        accept();
}

void CHistoryDlg::StartWorker() {
    WaitForWorker();  // the last one has ended already; collect it
    busy_ = true;
    workerActive_ = true;
    worker_ = std::thread(&CHistoryDlg::HistoryDownloadThread, this);
}

// The result goes back through the join, never through the toolkit's queue.
void CHistoryDlg::HistoryDownloadThread() {
    result_ = download_.Run();
    workerActive_ = false;
    QMetaObject::invokeMethod(this, &CHistoryDlg::OnWorkerEnded, Qt::QueuedConnection);
}

void CHistoryDlg::OnWorkerEnded() {
    if (ending_ || !busy_) return;
    WaitForWorker();
    if (result_.outcome == HistoryOutcome::Finished) SaveUntilWritten(result_);
    busy_ = false;
}

// Each file is written whole or not at all, and both or neither. One that cannot be is said
// to be, with the system's reason, before another name is asked for; the bytes are still in
// memory, so nothing is downloaded again. Giving up leaves no file and a failed download.
void CHistoryDlg::SaveUntilWritten(const HistoryResult& result) {
    status_->setText(QString::fromLatin1(kHistorySavingStatus));
    HistoryOutputFiles files = result.files;
    for (;;) {
        std::string failed;
        std::string error;
        if (WriteHistoryFiles(files, download_.Memory(), result.countedBytes, &failed, &error)) {
            ShowSaved(result);
            return;
        }
        ShowMessage(std::string(kHistoryNotWritten) + failed + ": " + error);
        const std::optional<std::string> chosen =
            ChooseFileFromWorker(false, HistoryDefaultNameNow(), kSaveFilters, this);
        if (!chosen) {
            status_->setText(QString::fromLatin1(kHistoryFailedStatus));
            return;
        }
        files = HistoryOutputNames(*chosen);
    }
}

void CHistoryDlg::ShowSaved(const HistoryResult& result) {
    const std::string said = result.stopSaved ? HistoryStoppedStatus(result.countedBytes)
                                              : HistoryFinishedStatus(result.countedBytes);
    progress_->setValue(kProgressMaximum);
    status_->setText(Text(said));
    ShowMessage(said);
}

// The worker may be waiting for its file dialog, which runs on this thread: keep events
// flowing until it has let go, then join it.
void CHistoryDlg::WaitForWorker() {
    while (workerActive_) {
        QCoreApplication::processEvents();
        SleepMs(kWorkerPollMs);
    }
    if (worker_.joinable()) worker_.join();
    TakeWorkerChanges();  // the worker's last changes, whether or not their notification came
}

void RunDownloadHistory(QWidget* mainWindow, MeterLink& link) {
    if (!HistoryDownloadAllowed(link.DeviceModel)) {
        ShowMessage(kOnlyWithZtx440);
        return;
    }
    PortGuard guard(link, PortHolder::Dialog);
    if (!link.DeviceConnected) {
        ShowMessage(kComportError);
        return;
    }
    CHistoryDlg dialog(mainWindow, link.port);
    dialog.exec();
}  // the dialog has joined its worker before the guard gives the port back
