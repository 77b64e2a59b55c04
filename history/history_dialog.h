#pragma once
// CHistoryDlg: the "Download History" dialog (template 136). Download starts the worker
// HistoryDownloadThread, which copies the meter's history memory into the download's own
// memory; during a download the buttons read "Stop/Save" (keep what has arrived) and
// "Cancel". Once the worker has ended, the user-interface thread writes the CSV table and the
// binary dump, both or neither, and asks for another name while they cannot be written. The
// dialog never ends while a download runs, and joins its worker before it goes.

#include <QDialog>
#include <QTimer>
#include <atomic>
#include <memory>
#include <thread>

#include "history/history_download.h"
#include "link/meter_link.h"

class QLabel;
class QProgressBar;
class QPushButton;

class CHistoryDlg : public QDialog {
    Q_OBJECT

  public:
    // port: the open port the download reads from (the main window holds it meanwhile).
    CHistoryDlg(QWidget* parent, CSerialPort& port);
    ~CHistoryDlg() override;

    HistoryFlags& Flags() { return download_.Flags(); }

    // True from the start of the worker (its file dialog included) until what it downloaded
    // has been saved or given up.
    bool WorkerActive() const { return busy_; }

    // Enter and Escape end up here: they act as Exit, so a download is cancelled first.
    void accept() override;
    void reject() override;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    class WorkerView;

    // User-interface thread: applies the widget changes the worker has handed over.
    Q_INVOKABLE void TakeWorkerChanges();
    // User-interface thread: the worker has ended; saves what it downloaded.
    void OnWorkerEnded();

    void OnDownload();
    void OnExit();
    void OnCloseTimer();
    void RequestClose();
    void StartWorker();
    void HistoryDownloadThread();
    void SaveUntilWritten(const HistoryResult& result);
    void ShowSaved(const HistoryResult& result);
    void WaitForWorker();

    QPushButton* exitButton_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* downloadButton_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QTimer closeTimer_;

    std::unique_ptr<WorkerView> view_;
    HistoryDownload download_;
    std::atomic<bool> workerActive_{false};  // the worker thread runs
    bool busy_ = false;                      // user-interface thread: a download is under way
    bool ending_ = false;                    // the dialog is being destroyed: nothing is saved
    std::thread worker_;
    HistoryResult result_;  // written by the worker, read once it has been joined
};

// Said when the downloaded history cannot be written, before the file name and the reason.
inline constexpr const char* kHistoryNotWritten = "The history could not be written to ";

// Menu command "Download History": offered for ZTX440, VXQ and ZTX-8800 meters only; holds the
// port (the screen mirror stops) for as long as the dialog is open. User-interface thread.
void RunDownloadHistory(QWidget* mainWindow, MeterLink& link);
