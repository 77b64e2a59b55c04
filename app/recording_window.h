#pragma once
// The window's long-term side: File › Open History… / Open Recording… show a file in a view
// window of its own, and Tools › Record Field Readings… / Record Spectra… record the meter's
// field readings or its accepted sweeps into a recording file until Stop Recording. Each
// fetch runs off the window's thread while the window goes on pumping its events, one
// exchange at a time, so the port hand-over stays the window's.

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/meter_link.h"
#include "measure/measurement.h"
#include "measure/measurement_fetch.h"
#include "record/field_alignment.h"
#include "record/field_recorder.h"
#include "record/recording_file.h"

class LongTermView;
class QLabel;
class QMenuBar;
class QPushButton;
class QTimer;
class QWidget;
class WaterfallView;

// Asks for a recording, history CSV or .bin dump and shows it in a resizable window of its
// own (owned by `parent`). A file that cannot be read is said in a message and opens nothing.
// Returns the new window, or nullptr.
QWidget* OpenLongTermFile(QWidget* parent);

// A status label of its own for a recorder, at the menu bar's right beside the others';
// nullptr once each has its own.
QLabel* AddRecordingStatus(QMenuBar* bar);

class RecordingController : public QObject {
    Q_OBJECT

  public:
    enum class Kind { Field, Spectrum };

    // One fetch (a field block, or the sweeps of one spectrum) as the window makes it, into
    // the recorder's own reading, which no other fetch touches: at once, or when the window
    // is busy with another exchange, as soon as it is free. `done` gets the outcome.
    using Fetch =
        std::function<void(Measurement& reading, const std::function<void(FetchOutcome)>& done)>;

    static constexpr int kIdleEveryMs = 30000;  // half the meter's 60-second memory
    static constexpr int kLiveEveryMs = 1000;   // while the live trend is open; every sweep
    static constexpr int kSyncCheckMs = 1000;
    static constexpr int64_t kLiveTrendSpanS = 300;  // the live trend shows 5 minutes at first

    RecordingController(Kind kind, const MeterLink& link, QWidget* window, QLabel* status,
                        Fetch fetch);
    ~RecordingController() override;

    // Chooses a new file and starts recording into it; false when cancelled or not created.
    // While recording, brings its view back instead (opened again when it was closed).
    bool Start();
    // Ends the recording with the file closed whole. Its view's Stop Recording does it too.
    void Stop();
    bool Recording() const { return recording_; }

    int64_t Rows() const { return rows_; }
    std::string Path() const { return path_; }
    // The last failure the status shows, empty when none.
    std::string LastError() const { return lastError_; }
    // The live view of the recording under way or the last one, while its window is open.
    LongTermView* LiveView() const { return liveTrend_; }
    WaterfallView* LiveWaterfall() const { return liveWaterfall_; }
    // Tests shorten the fetch periods (a spectrum recording fetches every liveMs).
    void SetPeriods(int idleMs, int liveMs);

  private:
    struct LiveSweep {
        SpectrumRow row;
        int64_t clockMs = 0;  // on RecordingClockMs(), where the view finds gaps
    };

    bool CreateFile(const std::string& path, bool replaceAsked);
    void ForgetLiveView();
    void FollowInLiveTrend(const std::vector<FieldRow>& rows);
    bool RemoveIfEmpty();
    void FetchOnce();
    void TakeFetch(FetchOutcome outcome);
    void TakeFieldBlock();
    void TakeSweep();
    bool AppendRows(const std::string& lines);
    void SyncIfDue();
    void ShowLiveView();
    void ArmFetchTimer();
    void Fail(const std::string& error);
    void ShowStatus();
    void SetStatus(const QString& text);
    QString FileName() const;

    Kind kind_;
    const MeterLink& link_;
    QWidget* window_;
    QLabel* status_;
    Fetch fetch_;
    QTimer* fetchTimer_;
    QTimer* syncTimer_;
    LongTermView* liveTrend_ = nullptr;
    WaterfallView* liveWaterfall_ = nullptr;
    QPointer<QWidget> liveWindow_;
    QPointer<QPushButton> stopButton_;
    // Every row and sweep so far, for a view opened again.
    std::vector<FieldRow> shownRows_;
    std::vector<LiveSweep> shownSweeps_;
    std::unique_ptr<RecordingFile> file_;
    FieldRecorder recorder_;
    RecordingTimeline sweepTimes_;  // a spectrum recording's times, as the field recorder's
    Measurement reading_;           // the recorder's own; its fetches go nowhere else
    // When the last accepted fetch ended.
    int64_t keptSteadyMs_ = 0;
    int64_t keptWallMs_ = 0;
    std::optional<SpectrumRow> lastSweep_;  // the band of the section being written
    int64_t rows_ = 0;
    bool recording_ = false;
    bool fetching_ = false;
    std::string path_;
    std::string lastError_;
    int64_t startedMs_ = 0;
    int idleEveryMs_ = kIdleEveryMs;
    int liveEveryMs_ = kLiveEveryMs;
};
