// Open History / Open Recording view windows and the field and spectrum recorders of the main
// window.

#include "app/recording_window.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <filesystem>

#include "app/view_window.h"
#include "graph/long_term_view.h"
#include "graph/plot_geometry.h"
#include "graph/waterfall_view.h"
#include "link/link_timing.h"
#include "link/message_seam.h"
#include "link/meter_identity.h"
#include "measure/measurement.h"
#include "measure/measurement_file.h"
#include "measure/spectrum.h"
#include "record/field_alignment.h"
#include "record/recording_reader.h"
#include "record/recording_timeline.h"
#include "res/main_dialog_template.h"
#include "ui/file_dialog.h"

namespace {

constexpr FileFilter kRecordingFilters[] = {{"CSV (*.csv)", "*.csv"}};
constexpr const char* kMeterLost = "the meter is not connected";
constexpr const char* kPortNotOpened = "the port could not be opened";
// Two statuses fit beside the menus of the window's 570-pixel menu bar; the whole text is in
// the tooltip.
constexpr int kStatusWidthPx = 210;
constexpr int kStatusMarginPx = 4;
constexpr int kStatusCount = 2;  // the field and the spectrum recorder
constexpr const char* kStatusTaken = "ferrologStatusTaken";

std::string FetchError(FetchOutcome outcome) {
    switch (outcome) {
        case FetchOutcome::OpenFailed:
            return kPortNotOpened;
        case FetchOutcome::NoWholeReply:
            return kNoFieldReply;
        case FetchOutcome::Disconnected:
            return kMeterLost;
        case FetchOutcome::NotFound:
            return kDbmNotFound;
        default:
            return "the fetch was stopped";
    }
}

QString Duration(int64_t ms) {
    const int64_t s = ms / 1000;
    return QString::asprintf("%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                             static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
}

// The sweep a spectrum fetch accepted, made at `time`.
SpectrumRow AcceptedSweep(const SpectrumRecordData& record, int64_t time) {
    SpectrumRow row;
    row.time = time;
    row.dbm = record.dbm;
    for (int bin = 0; bin < kSpectrumBins; ++bin)
        row.frequencyHz[bin] = BinFrequency(record, bin);
    return row;
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
        ::ShowMessage(error);  // it names the file
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

QLabel* AddRecordingStatus(QMenuBar* bar) {
    QWidget* corner = bar->cornerWidget(Qt::TopRightCorner);
    if (!corner) {
        corner = new QWidget(bar);
        auto* layout = new QHBoxLayout(corner);
        layout->setContentsMargins(0, 0, kStatusMarginPx, 0);
        // Room for every recorder's status from the start: the menu bar lays its corner out
        // when it is set and shown, not when the corner's contents change.
        for (int i = 0; i < kStatusCount; ++i) {
            auto* label = new QLabel(corner);
            label->setFixedWidth(kStatusWidthPx);
            layout->addWidget(label);
        }
        bar->setCornerWidget(corner, Qt::TopRightCorner);
        corner->show();  // made after the window was shown, it would stay hidden
    }
    for (QLabel* label : corner->findChildren<QLabel*>()) {
        if (label->property(kStatusTaken).toBool()) continue;
        label->setProperty(kStatusTaken, true);
        return label;
    }
    return nullptr;
}

RecordingController::RecordingController(Kind kind, const MeterLink& link, QWidget* window,
                                         QLabel* status, Fetch fetch)
    : QObject(nullptr),
      kind_(kind),
      link_(link),
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
    RemoveIfEmpty();
}

void RecordingController::SetPeriods(int idleMs, int liveMs) {
    idleEveryMs_ = idleMs;
    liveEveryMs_ = liveMs;
    if (recording_) ArmFetchTimer();
}

bool RecordingController::Start() {
    if (recording_) {
        ShowLiveView();
        return false;
    }
    if (kind_ == Kind::Spectrum && !SpectrumSupported(link_.DeviceModel)) {
        ::ShowMessage(kNotSupported);
        return false;
    }
    CFileLocalDlg dialog(false, "", kRecordingFilters, window_);
    if (!dialog.DoModal() || dialog.PathName().empty()) return false;
    const std::string path = WithExtension(dialog.PathName(), kMeasurementExtension);
    // The save dialog asked before its name was replaced; a name it did not show is kept.
    if (!CreateFile(path, path == dialog.PathName())) return false;
    recorder_ = FieldRecorder();
    sweepTimes_ = RecordingTimeline();
    lastSweep_.reset();
    ForgetLiveView();
    rows_ = 0;
    path_ = path;
    lastError_.clear();
    startedMs_ = NowMs();
    recording_ = true;
    ShowLiveView();
    syncTimer_->start(kSyncCheckMs);
    ShowStatus();
    QTimer::singleShot(0, this, &RecordingController::FetchOnce);
    return true;
}

// A recording replaces only a file the user agreed to replace. A spectrum recording's header
// names the bins, so it comes with the first sweep.
bool RecordingController::CreateFile(const std::string& path, bool replaceAsked) {
    auto file = std::make_unique<RecordingFile>();
    const std::string header =
        kind_ == Kind::Field ? std::string(kFieldRecordingHeader) + "\n" : std::string();
    std::string error;
    using Existing = RecordingFile::Existing;
    if (!file->Create(path, header, &error, replaceAsked ? Existing::Replace : Existing::Keep)) {
        ::ShowMessage(error);  // it names the file
        return false;
    }
    file_ = std::move(file);
    return true;
}

void RecordingController::Stop() {
    if (!recording_) return;
    recording_ = false;
    fetchTimer_->stop();
    syncTimer_->stop();
    if (stopButton_) stopButton_->setEnabled(false);
    std::string error;
    const bool closed = file_->Close(&error);
    file_.reset();
    if (RemoveIfEmpty())
        return SetStatus(QString("No sweep was accepted: %1 not kept").arg(FileName()));
    if (!closed) return Fail(error);
    SetStatus(QString("Recorded %1: %2 rows").arg(FileName()).arg(rows_));
}

// A spectrum recording that never got a sweep has not even its header: no file is left.
bool RecordingController::RemoveIfEmpty() {
    if (kind_ != Kind::Spectrum || rows_ > 0) return false;
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
    return true;
}

// A new recording gets a view of its own; the last one's window stays as it is.
void RecordingController::ForgetLiveView() {
    liveWindow_ = nullptr;
    stopButton_ = nullptr;
    liveTrend_ = nullptr;
    liveWaterfall_ = nullptr;
    shownRows_.clear();
    shownSweeps_.clear();
}

// The recording's view, opened again with every row so far when it was closed.
void RecordingController::ShowLiveView() {
    if (liveWindow_) {
        liveWindow_->raise();
        liveWindow_->activateWindow();
        return;
    }
    QWidget* view = nullptr;
    if (kind_ == Kind::Field) {
        liveTrend_ = new LongTermView;  // takes its columns from the first rows
        if (!shownRows_.empty()) FollowInLiveTrend(shownRows_);
        view = liveTrend_;
    } else {
        liveWaterfall_ = new WaterfallView;
        for (const LiveSweep& sweep : shownSweeps_)
            liveWaterfall_->AppendSweep(sweep.row, sweep.clockMs);
        view = liveWaterfall_;
    }
    QWidget* window = ShowInViewWindow(window_, view, path_);
    liveWindow_ = window;
    stopButton_ = AddViewButton(window, kStopRecordingCaption, [this] { Stop(); });
    // Closing the live trend returns the field recorder to its idle pace.
    connect(window, &QObject::destroyed, this, [this, view] {
        if (liveTrend_ == view) liveTrend_ = nullptr;  // not the trend of an earlier recording
        if (liveWaterfall_ == view) liveWaterfall_ = nullptr;
        if (recording_) ArmFetchTimer();
    });
    ArmFetchTimer();
}

void RecordingController::ArmFetchTimer() {
    fetchTimer_->start(kind_ == Kind::Spectrum || liveTrend_ ? liveEveryMs_ : idleEveryMs_);
}

void RecordingController::FetchOnce() {
    if (!recording_ || fetching_) return;
    if (link_.LinkLost) {
        // Rows go on with the first block after it is back; seconds its memory lost are a gap.
        lastError_ = kMeterLost;
        ShowStatus();
        return;
    }
    fetching_ = true;
    fetch_(reading_, [self = QPointer<RecordingController>(this)](FetchOutcome outcome) {
        if (self) self->TakeFetch(outcome);
    });
}

void RecordingController::TakeFetch(FetchOutcome outcome) {
    fetching_ = false;
    if (!recording_) return;
    if (outcome != FetchOutcome::Accepted) {
        lastError_ = FetchError(outcome);
        ShowStatus();
        return;
    }
    keptSteadyMs_ = RecordingClockMs();
    keptWallMs_ = WallClockMs();
    if (kind_ == Kind::Field)
        TakeFieldBlock();
    else
        TakeSweep();
    if (recording_) ShowStatus();  // a file that failed has said so instead
}

void RecordingController::TakeFieldBlock() {
    const std::vector<FieldRow> rows = recorder_.AddBlock(
        ReadFieldCounts(reading_.bytes), reading_.field, keptSteadyMs_, keptWallMs_);
    std::string lines;
    for (const FieldRow& row : rows)
        lines += FieldCsvLine(row);
    if (!AppendRows(lines)) return;
    rows_ += static_cast<int64_t>(rows.size());
    shownRows_.insert(shownRows_.end(), rows.begin(), rows.end());
    if (liveTrend_ && !rows.empty()) FollowInLiveTrend(rows);
}

void RecordingController::TakeSweep() {
    const SpectrumRow row =
        AcceptedSweep(reading_.spectrum, sweepTimes_.TimeAt(keptSteadyMs_, keptWallMs_));
    // The first sweep, and a band changed on the meter, start a section under its own header.
    const bool newSection = !lastSweep_ || !SameBins(*lastSweep_, row);
    if (!AppendRows((newSection ? SpectrumCsvHeader(row) : std::string()) + SpectrumCsvLine(row)))
        return;
    lastSweep_ = row;
    ++rows_;
    shownSweeps_.push_back({row, keptSteadyMs_});
    if (liveWaterfall_) liveWaterfall_->AppendSweep(row, keptSteadyMs_);
}

// A trend showing the newest rows keeps its span as it follows them: the last five minutes
// at first, however few rows there are yet.
void RecordingController::FollowInLiveTrend(const std::vector<FieldRow>& rows) {
    const TimeSeries& shown = liveTrend_->Series();
    const bool first = shown.times.empty();
    const bool following = first || liveTrend_->SpanEnd() >= shown.times.back();
    const int64_t span = first ? kLiveTrendSpanS : liveTrend_->SpanEnd() - liveTrend_->SpanStart();
    liveTrend_->AppendFieldRows(rows);
    if (following && !shown.times.empty())
        liveTrend_->SetSpan(shown.times.back() - span, shown.times.back());
}

// False when the file could not take the rows; the recording has ended then.
bool RecordingController::AppendRows(const std::string& lines) {
    std::string error;
    if (lines.empty() || file_->Append(lines, NowMs(), &error)) return true;
    Fail(error);
    return false;
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
    ::ShowMessage(error);  // it names the file
    SetStatus(QString("Recording stopped: %1").arg(QString::fromStdString(error)));
}

void RecordingController::ShowStatus() {
    QString text = QString("%1 %2  %3  %4 rows")
                       .arg(kind_ == Kind::Field ? "Field:" : "Spectra:", FileName(),
                            Duration(NowMs() - startedMs_))
                       .arg(rows_);
    if (!lastError_.empty()) text += "  last error: " + QString::fromStdString(lastError_);
    SetStatus(text);
}

QString RecordingController::FileName() const {
    return QFileInfo(QString::fromStdString(path_)).fileName();
}

// As much of the text as the label holds; all of it, with the file's path, in the tooltip.
void RecordingController::SetStatus(const QString& text) {
    if (!status_) return;
    status_->setText(status_->fontMetrics().elidedText(text, Qt::ElideRight, status_->width()));
    status_->setToolTip(text + "\n" + QString::fromStdString(path_));
}
