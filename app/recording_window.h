#pragma once
// The window's long-term side: File › Open History… / Open Recording… show a file in a view
// window of its own, and Tools › Record Field Readings… records the meter's field readings
// into a recording file until Stop Recording. The recorder fetches the 60-second block on the
// user-interface thread, the way GET EMF DATA does, so the port hand-over stays the window's.

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "measure/measurement_fetch.h"
#include "record/field_recorder.h"
#include "record/recording_file.h"

class LongTermView;
class QLabel;
class QTimer;
class QWidget;

// Asks for a recording, history CSV or .bin dump and shows it in a resizable window of its
// own (owned by `parent`). A file that cannot be read is said in a message and opens nothing.
// Returns the new window, or nullptr.
QWidget* OpenLongTermFile(QWidget* parent);

class RecordingController : public QObject {
    Q_OBJECT

  public:
    // One field fetch as the window makes it, holding the window busy while it runs.
    using FieldFetch = std::function<FetchOutcome()>;

    static constexpr int kIdleEveryMs = 30000;  // half the meter's 60-second memory
    static constexpr int kLiveEveryMs = 1000;   // while the live trend is open
    static constexpr int kSyncCheckMs = 1000;

    RecordingController(QWidget* window, QLabel* status, FieldFetch fetch);
    ~RecordingController() override;

    // Chooses a new file and starts recording into it; false when cancelled or not created.
    bool StartField();
    // Ends the recording with the file closed whole.
    void Stop();
    bool Recording() const { return recording_; }

    int64_t Rows() const { return recorder_.Rows(); }
    std::string Path() const { return path_; }
    LongTermView* LiveView() const { return liveView_; }
    // Tests shorten the fetch periods.
    void SetPeriods(int idleMs, int liveMs);

  private:
    void FetchOnce();
    void SyncIfDue();
    void OpenLiveView();
    void ArmFetchTimer();
    void Fail(const std::string& error);
    void ShowStatus();

    QWidget* window_;
    QLabel* status_;
    FieldFetch fetch_;
    QTimer* fetchTimer_;
    QTimer* syncTimer_;
    LongTermView* liveView_ = nullptr;
    std::unique_ptr<RecordingFile> file_;
    FieldRecorder recorder_;
    bool recording_ = false;
    bool fetching_ = false;
    std::string path_;
    std::string lastError_;
    int64_t startedMs_ = 0;
    int idleEveryMs_ = kIdleEveryMs;
    int liveEveryMs_ = kLiveEveryMs;
};
