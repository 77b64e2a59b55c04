// The main window's measurement commands: the two fetches (on a button or once a second),
// and File › Load (which also opens the program's recordings and histories) and File › Save.

#include <QCheckBox>
#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>

#include "app/main_dialog.h"
#include "app/view_window.h"
#include "graph/banner_wnd.h"
#include "graph/graph_window.h"
#include "graph/long_term_view.h"
#include "graph/waterfall_view.h"
#include "link/message_seam.h"
#include "link/meter_identity.h"
#include "measure/measurement.h"
#include "measure/measurement_fetch.h"
#include "measure/measurement_file.h"
#include "record/recording_reader.h"
#include "res/main_dialog_template.h"
#include "ui/file_dialog.h"

namespace {

constexpr const char* kFieldFetchMark = "...";
constexpr const char* kSpectrumFetchMark = "Please wait...";
constexpr const char* kCannotCreateFile = "Failed to create the file.";

// Tells whether any sweep of a spectrum fetch came whole, and leaves the sweep on show as it
// was when none did: the reply bytes are marked before each sweep until one comes, and only
// a whole reply overwrites them (one filled with the mark is no spectrum's layout). Runs on
// the window's thread while the worker waits between sweeps, and once it has ended.
class SweepWatch {
  public:
    explicit SweepWatch(MeasurementBytes& bytes) : bytes_(bytes) {}

    void BeforeSweep() {
        if (answered_) return;
        if (marked_ && (answered_ = !Marked())) return;
        if (!marked_) std::copy_n(bytes_.begin(), shown_.size(), shown_.begin());
        std::fill_n(bytes_.begin(), shown_.size(), kMark);
        marked_ = true;
    }

    // True when a sweep came whole; otherwise the buffer holds what it held before the fetch.
    bool End() {
        if (answered_ || !marked_) return answered_;
        answered_ = !Marked();
        if (!answered_) std::copy(shown_.begin(), shown_.end(), bytes_.begin());
        return answered_;
    }

  private:
    static constexpr uint8_t kMark = 0xBB;

    bool Marked() const {
        return std::all_of(bytes_.begin(), bytes_.begin() + shown_.size(),
                           [](uint8_t byte) { return byte == kMark; });
    }

    MeasurementBytes& bytes_;
    std::array<uint8_t, kSpectrumReplyLength> shown_{};
    bool marked_ = false;
    bool answered_ = false;
};

}  // namespace

// Draws a status text into the graph's image and shows it at once: the fetch that follows
// holds this thread, so a repaint requested for later would come too late.
void CMainDlg::ShowGraphStatus(const char* text, int xDivisor, int yDivisor) {
    const WindowRect& rect = graph_->ImageRect();
    graph_->DrawStatusText(text, (rect.Width() - 100) / xDivisor, rect.Height() / yDivisor);
    graph_->repaint();
}

// Until the lost meter is found again there is nobody to ask.
bool CMainDlg::SayIfMeterLost() {
    if (!link_.LinkLost) return false;
    ::ShowMessage(kMeterDisconnected);
    return true;
}

void CMainDlg::FetchFieldReading(bool byUser) {
    if (SayIfMeterLost()) return;
    shown_.measurement.kind = kKindField;
    ShowGraphStatus(kFieldFetchMark, 8, 4);
    FetchOutcome outcome;
    {
        BusyScope busy(*this, byUser);
        // The fetch may wait seconds for a silent meter; a close request stops it meanwhile.
        RunWhilePumping([&] {
            outcome = FetchFieldBlock(link_, link_.PortNumber, shown_.measurement, &stopRequested_,
                                      autoSave_);
        });
    }
    const bool lost = outcome == FetchOutcome::Disconnected || link_.LinkLost;
    // A port that would not open leaves the mark until the next redraw, unless the meter went.
    if (outcome == FetchOutcome::OpenFailed && !lost) return;
    graph_->Refresh();
    graph_->repaint();
    if (closeRequested_ != CloseWay::None) return;
    if (lost)
        ::ShowMessage(kMeterDisconnected);
    else if (outcome == FetchOutcome::NoWholeReply)
        ::ShowMessage(kNoFieldReply);
}

void CMainDlg::FetchSpectrum(bool byUser) {
    if (SayIfMeterLost()) return;
    shown_.measurement.kind = kKindSpectrum;
    ShowGraphStatus(kSpectrumFetchMark, 2, 2);
    SweepWatch watch(shown_.measurement.bytes);
    SpectrumFetchHooks hooks;
    // Each sweep is drawn on the window's thread while the worker waits, so the graph never
    // reads a record the worker is decoding; the mark stays on until the last sweep.
    hooks.beforeSweep = [this, &watch] {
        CallOnWindowThread([this, &watch] {
            watch.BeforeSweep();
            graph_->Refresh();
            ShowGraphStatus(kSpectrumFetchMark, 2, 2);
        });
    };
    // A slow meter makes the sweep loop long; one screen run between sweeps keeps the mirror
    // live meanwhile.
    hooks.betweenSweeps = [this] { screenPoll_->RunOnceAndWait(); };
    FetchOutcome outcome;
    {
        BusyScope busy(*this, byUser);
        // The sweeps run on a worker while the window keeps handling events, so a close
        // request stops them within a poll step.
        RunWhilePumping([&] {
            outcome =
                FetchSpectrumSweeps(link_, link_.PortNumber, shown_.threshold, shown_.measurement,
                                    hooks, nullptr, &stopRequested_, autoSave_);
        });
    }
    // "dBm Not Found" says no sweep reached the threshold, not that none came.
    const bool answered = watch.End();
    const bool lost = outcome == FetchOutcome::Disconnected || link_.LinkLost;
    if (outcome == FetchOutcome::OpenFailed && !lost) return;
    graph_->Refresh();
    if (outcome == FetchOutcome::NotFound && answered) {
        const WindowRect& rect = graph_->ImageRect();
        graph_->DrawStatusText(kDbmNotFound, (rect.Width() - 100) / 2, rect.Height() / 2);
    }
    graph_->repaint();
    if (closeRequested_ != CloseWay::None) return;
    if (lost)
        ::ShowMessage(kMeterDisconnected);
    else if (outcome == FetchOutcome::NotFound && !answered)
        ::ShowMessage(kNoSpectrumReply);
}

void CMainDlg::OnFetchTick() {
    // A dialog holding the port runs its own loop while these ticks go on; a fetch waiting
    // for the port here would wait for ever, so the tick is skipped instead. A lost meter
    // pauses the automatic fetches until it is found again.
    if (link_.HeldForAction()) return;
    if (link_.LinkLost) return;
    constexpr bool kByUser = false;
    if (Checked(kIdAutoField))
        FetchFieldReading(kByUser);
    else if (Checked(kIdAutoSpectrum))
        FetchSpectrum(kByUser);
}

namespace {

// A recording or a history table says so in its first line; a history dump is binary, which
// no measurement file is. Only a regular file is read: a pipe never blocks here.
bool IsLongTermFile(const std::string& path) {
    constexpr std::streamsize kHeadBytes = 4096;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return false;
    std::ifstream in(path, std::ios::binary);
    std::string head(kHeadBytes, '\0');
    in.read(head.data(), kHeadBytes);
    head.resize(static_cast<std::size_t>(in.gcount()));
    RecordingKind kind{};
    return DetectRecordingKind(IsMeasurementText(head) ? "" : path, head.substr(0, head.find('\n')),
                               &kind);
}

// As File › Open Recording and Open History show it: a window of its own, or a message.
void OpenInViewWindow(QWidget* parent, const std::string& path) {
    RecordingKind kind;
    TimeSeries series;
    SpectrumSeries spectrum;
    std::string error;
    if (!LoadRecording(path, &kind, &series, &spectrum, &error)) {
        ::ShowMessage(path + ": " + error);
        return;
    }
    if (kind == RecordingKind::Spectrum) {
        auto* view = new WaterfallView;
        view->SetSeries(std::move(spectrum));
        ShowInViewWindow(parent, view, path);
        return;
    }
    auto* view = new LongTermView;
    view->SetSeries(std::move(series));
    ShowInViewWindow(parent, view, path);
}

}  // namespace

void CMainDlg::LoadMeasurement() {
    CFileLocalDlg dialog(true, "", kLoadFilters, this);
    if (!dialog.DoModal()) {
        banner_->Present();
        return;
    }
    if (dialog.PathName().empty()) return;
    // The program's own long-term files open in their viewer; the measurement stays as it is.
    if (IsLongTermFile(dialog.PathName())) {
        OpenInViewWindow(this, dialog.PathName());
        banner_->Present();
        return;
    }
    const LoadStatus status = LoadWholeMeasurementFile(dialog.PathName(), shown_.measurement);
    if (status != LoadStatus::kLoaded) {
        // Nothing of the measurement on show changes.
        ::ShowMessage(status == LoadStatus::kNotMeasurement ? kNotMeasurementFile
                                                            : kFailedToOpenFile);
        banner_->Present();
        return;
    }
    // The revision is read now, so a field file loaded after identifying another meter is
    // converted with that meter's curves.
    DecodeMeasurement(shown_.measurement, link_.FirmwareRevision.load());
    graph_->Refresh();
    banner_->Present();
}

void CMainDlg::SaveMeasurement() {
    CFileLocalDlg dialog(false, "", kSaveFilters, this);
    // Whatever type was chosen, the file is the comma-separated text under ".csv".
    dialog.SetSavedExtension(kMeasurementExtension);
    if (!dialog.DoModal() || dialog.PathName().empty()) return;
    const std::string path = dialog.PathName();
    const Measurement& shown = shown_.measurement;
    ::ShowMessage(WriteMeasurementFile(path, shown.kind, shown.bytes) ? kFileSaved
                                                                      : kCannotCreateFile);
}
