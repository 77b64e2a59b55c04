// Open History / Open Recording view windows and the field recorder of the main window.

#include "app/recording_window.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <ctime>
#include <filesystem>

#include "graph/long_term_view.h"
#include "graph/waterfall_view.h"
#include "link/link_flags.h"
#include "link/link_timing.h"
#include "link/message_seam.h"
#include "measure/measurement.h"
#include "measure/measurement_file.h"
#include "record/field_alignment.h"
#include "record/recording_reader.h"
#include "res/main_dialog_template.h"
#include "ui/file_dialog.h"

namespace {

constexpr FileFilter kRecordingFilters[] = {{"CSV (*.csv)", "*.csv"}};
constexpr const char* kMeterLost = "the meter is not connected";
constexpr const char* kPortNotOpened = "the port could not be opened";

// A resizable window of its own around `view`, closed with the main window.
QWidget* ShowInViewWindow(QWidget* parent, QWidget* view, const std::string& path) {
    auto* window = new QWidget(parent, Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(
        QString("%1 - %2").arg(QFileInfo(QString::fromStdString(path)).fileName(), kProgramTitle));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    view->setParent(window);
    layout->addWidget(view);
    window->resize(900, 450);
    window->show();
    return window;
}

std::string FetchError(FetchOutcome outcome) {
    switch (outcome) {
        case FetchOutcome::OpenFailed:
            return kPortNotOpened;
        case FetchOutcome::NoWholeReply:
            return kNoFieldReply;
        case FetchOutcome::Disconnected:
            return kMeterLost;
        default:
            return "the fetch was stopped";
    }
}

QString Duration(int64_t ms) {
    const int64_t s = ms / 1000;
    return QString::asprintf("%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                             static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
}

}  // namespace

QWidget* OpenLongTermFile(QWidget* parent) {
    CFileLocalDlg dialog(true, "", kLoadFilters, parent);
    if (!dialog.DoModal() || dialog.PathName().empty()) return nullptr;
    const std::string path = dialog.PathName();
    RecordingKind kind;
    TimeSeries series;
    SpectrumSeries spectrum;
    std::string error;
    if (!LoadRecording(path, &kind, &series, &spectrum, &error)) {
        ::ShowMessage(path + ": " + error);
        return nullptr;
    }
    if (kind == RecordingKind::Spectrum) {
        auto* view = new WaterfallView;
        view->SetSeries(std::move(spectrum));
        return ShowInViewWindow(parent, view, path);
    }
    auto* view = new LongTermView;
    view->SetSeries(std::move(series));
    return ShowInViewWindow(parent, view, path);
}

RecordingController::RecordingController(QWidget* window, QLabel* status, FieldFetch fetch)
    : QObject(nullptr),
      window_(window),
      status_(status),
      fetch_(std::move(fetch)),
      fetchTimer_(new QTimer(this)),
      syncTimer_(new QTimer(this)) {
    connect(fetchTimer_, &QTimer::timeout, this, &RecordingController::FetchOnce);
    connect(syncTimer_, &QTimer::timeout, this, &RecordingController::SyncIfDue);
}

// The window is going: the file is closed without a message box over it.
RecordingController::~RecordingController() {
    if (!file_) return;
    std::string error;
    file_->Close(&error);
}

void RecordingController::SetPeriods(int idleMs, int liveMs) {
    idleEveryMs_ = idleMs;
    liveEveryMs_ = liveMs;
    if (recording_) ArmFetchTimer();
}

bool RecordingController::StartField() {
    if (recording_) {
        ::ShowMessage("A recording is already running: Stop Recording ends it.");
        return false;
    }
    CFileLocalDlg dialog(false, "", kRecordingFilters, window_);
    if (!dialog.DoModal() || dialog.PathName().empty()) return false;
    const std::string path = WithExtension(dialog.PathName(), kMeasurementExtension);
    auto file = std::make_unique<RecordingFile>();
    std::string error;
    // A recording never replaces a file: Create refuses one that exists.
    if (!file->Create(path, std::string(kFieldRecordingHeader) + "\n", &error)) {
        ::ShowMessage(path + ": " + error);
        return false;
    }
    file_ = std::move(file);
    recorder_ = FieldRecorder();
    path_ = path;
    lastError_.clear();
    startedMs_ = NowMs();
    recording_ = true;
    OpenLiveView();
    syncTimer_->start(kSyncCheckMs);
    ShowStatus();
    QTimer::singleShot(0, this, &RecordingController::FetchOnce);
    return true;
}

void RecordingController::Stop() {
    if (!recording_) return;
    recording_ = false;
    fetchTimer_->stop();
    syncTimer_->stop();
    std::string error;
    const bool closed = file_->Close(&error);
    file_.reset();
    if (!closed) return Fail(error);
    if (status_)
        status_->setText(QString("Recorded %1: %2 rows")
                             .arg(QString::fromStdString(path_))
                             .arg(recorder_.Rows()));
}

void RecordingController::OpenLiveView() {
    auto* view = new LongTermView;  // takes its columns from the first rows
    QWidget* window = ShowInViewWindow(window_, view, path_);
    liveView_ = view;
    // Closing the live trend returns the recorder to its idle pace.
    connect(window, &QObject::destroyed, this, [this, view] {
        if (liveView_ != view) return;  // the trend of an earlier recording
        liveView_ = nullptr;
        if (recording_) ArmFetchTimer();
    });
    ArmFetchTimer();
}

void RecordingController::ArmFetchTimer() {
    fetchTimer_->start(liveView_ ? liveEveryMs_ : idleEveryMs_);
}

void RecordingController::FetchOnce() {
    if (!recording_ || fetching_) return;
    // A dialog holding the port runs its own loop meanwhile: this fetch waits for the next tick.
    if (!PortFree && StopScreenPoll) return;
    if (LinkLost) {
        lastError_ = kMeterLost;  // the next block after it comes back starts after a gap
        ShowStatus();
        return;
    }
    fetching_ = true;
    const FetchOutcome outcome = fetch_();
    fetching_ = false;
    if (!recording_) return;
    if (outcome != FetchOutcome::Accepted) {
        lastError_ = FetchError(outcome);
        ShowStatus();
        return;
    }
    const std::vector<FieldRow> rows =
        recorder_.AddBlock(ReadFieldCounts(MeasurementBuffer), FieldBlock, NowMs(),
                           static_cast<int64_t>(std::time(nullptr)));
    std::string lines;
    for (const FieldRow& row : rows)
        lines += FieldCsvLine(row);
    std::string error;
    if (!lines.empty() && !file_->Append(lines, NowMs(), &error)) {
        Fail(error);
        return;
    }
    if (liveView_ && !rows.empty()) liveView_->AppendFieldRows(rows);
    ShowStatus();
}

void RecordingController::SyncIfDue() {
    if (!recording_) return;
    std::string error;
    if (!file_->SyncIfDue(NowMs(), &error)) return Fail(error);
    ShowStatus();
}

// A file that can no longer be written ends the recording, whole up to its last line.
void RecordingController::Fail(const std::string& error) {
    Stop();
    lastError_ = error;
    ::ShowMessage(path_ + ": " + error);
    if (status_)
        status_->setText(QString("Recording stopped: %1").arg(QString::fromStdString(error)));
}

void RecordingController::ShowStatus() {
    if (!status_) return;
    QString text = QString("Recording %1  %2  %3 rows")
                       .arg(QFileInfo(QString::fromStdString(path_)).fileName(),
                            Duration(NowMs() - startedMs_))
                       .arg(recorder_.Rows());
    if (!lastError_.empty()) text += "  last error: " + QString::fromStdString(lastError_);
    status_->setText(text);
    status_->setToolTip(QString::fromStdString(path_));
}
