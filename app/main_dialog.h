#pragma once
// CMainDlg: the program's one window. Keys, the mirrored meter screen, the graph, fetch
// buttons, display options, the port selector and the menu; its timers drive everything
// the program does by itself (acquisition_scheduler.cpp).

#include <QDialog>
#include <QPointer>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "graph/plot_painter.h"
#include "link/meter_identity.h"
#include "measure/measurement.h"
#include "screen/screen_poll.h"

class CGraphWnd;
class CBannerWnd;
class CScanningDlg;
class QLabel;
class RecordingController;
enum class FetchOutcome;
class QComboBox;
class QMenuBar;
class QMessageBox;
class QTimer;
class QPushButton;

// Timer ids of the main window.
enum MainTimerId : int {
    kTimerMirror = 100,     // screen-mirror tick: 500 ms, then 5 ms once mirroring runs
    kTimerStartScan = 101,  // the automatic scan, 200 ms after start
    kTimerBanner = 102,     // the banner, 10 ms after start
    kTimerScan = 103,       // runs the scan once the scanning panel has painted
    kTimerFetch = 1000,     // automatic fetch, once a second
};

class CMainDlg : public QDialog, private DiscoveryView {
    Q_OBJECT

  public:
    // From a worker: runs call on the user-interface thread and returns once it has run.
    void CallOnWindowThread(const std::function<void()>& call);

    // The window talks to the meter through link, which must outlive it.
    explicit CMainDlg(MeterLink& link, QWidget* parent = nullptr);
    ~CMainDlg() override;

    QWidget* Control(int id) const;
    CGraphWnd* Graph() const { return graph_; }
    // The reading the graph shows and the search threshold, the window's own: a recorder's
    // fetches go into the recorder's reading instead.
    PlotReading& Shown() { return shown_; }
    // The auto-save box as the fetches read it (it counts from the fetch after a click).
    bool AutoSaveOn() const { return autoSave_; }
    CBannerWnd* Banner() const { return banner_; }
    CScanningDlg* ScanningPanel() const { return scanningPanel_; }
    MeterLink& Link() const { return link_; }
    QMenuBar* MenuBar() const { return menuBar_; }
    // The recorders of Tools › Record Field Readings and Record Spectra; nullptr until used.
    RecordingController* Recorder() const { return recorder_.get(); }
    RecordingController* SpectrumRecorder() const { return spectrumRecorder_.get(); }

    // The scheduler: one handler for every timer of the window.
    void OnTimer(int id);
    bool TimerArmed(int id) const;
    int TimerPeriod(int id) const;
    // Tests drive the timers themselves; this stops them all.
    void StopAllTimers();

    // A menu command or a button, by id.
    void OnCommand(int id);

    // The measurement commands (measurement_commands.cpp). byUser: a button asked for it, so
    // the window shows itself busy meanwhile; the once-a-second fetch (false) only queues the
    // port commands clicked during it.
    void FetchFieldReading(bool byUser = true);
    void FetchSpectrum(bool byUser = true);
    void LoadMeasurement();
    void SaveMeasurement();

    // Frames the mirror has shown since the window opened.
    int MirroredFrames() const { return mirroredFrames_; }
    // True while the screen worker runs an exchange.
    bool ScreenPollRunning() const { return screenPoll_->Running(); }

    // The two ways out: OK (Enter) suspends the link, lets a screen run end and closes the
    // port; Cancel (Escape, the close box, close()) lets a screen run end and closes the port.
    // While a recording or a history download runs, both ask first and No keeps the window.
    // While a scan or fetch holds the window, either asks it to stop and closes once it has
    // let go. Closing stops the recordings with their files whole.
    void accept() override;
    void reject() override;

    // A close request from outside (SIGTERM, SIGINT, SIGHUP): closes the boxes over the window,
    // then the window the Cancel way without a question, at once or, while a scan, fetch or
    // command holds this thread, as soon as it has let go.
    void RequestClose();
    // True once a close request has asked the running scan, fetch or sweep loop to stop.
    bool StopRequested() const { return stopRequested_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    class BusyScope;
    enum class CloseWay { None, Ok, Cancel };

    // User-interface thread: shows the frame the screen worker has handed over, if any.
    Q_INVOKABLE void TakeMirroredFrame();
    Q_INVOKABLE void RunWorkerCall();
    void HandOverFrame(const uint8_t* pixels);
    void ShowLinkLost();
    void OnLostLinkTick();
    void PumpWhileBusy();
    // Runs work on a worker while this thread goes on delivering events, a close request among
    // them; returns once the worker has ended and been joined. work touches no widget.
    void RunWhilePumping(const std::function<void()>& work);
    void NoteOpenFailure();
    void AddPickedPortFailure(std::string* shown) const;
    void RunMenuCommand(int id);
    void RunRecordingCommand(int id);
    void EnableStopItems();
    // Runs call once no scan or exchange holds the window, in the order they came.
    void AfterBusy(std::function<void()> call);
    void WhenFree(std::function<void()> call);
    void RunAfterBusy();
    void ShowBusy(bool on);
    void AskBeforeClosing(CloseWay way);
    std::string RunningJobQuestion() const;
    void CloseOrStop(CloseWay way);
    void CloseWhenFree();
    void CloseNow();
    void FetchForRecorder(bool spectrum, Measurement& reading,
                          const std::function<void(FetchOutcome)>& done);

    // DiscoveryView
    void SelectPortIndex(int index) override;
    void SetAutoCaption(const std::string& text) override;
    void HideScanningPanel() override;
    void ShowMessage(const std::string& text) override;
    void Sleep(int milliseconds) override;

    void BuildWindow();
    void BuildMenu();
    void LayOutWindow();
    void ApplyColours();
    void ConnectHandlers();
    void InitialiseDialog();
    void FillThresholdLists();
    void FitListsToTheirItems();
    void ShowPortDevice(int index);

    void OnDisplayOption(int id);
    void OnThresholdDbm(int index);
    void OnThresholdPower(int index);
    void OnAutoFetchBox(int id);
    void OnKey(const char* command);
    void OnIdentify(int index);
    void StartAutoScan();
    void RunScan();
    void StopMirroring();
    void ShowAbout();
    void ShowMirroredFrame(const uint8_t* pixels);

    void SetTimer(int id, int milliseconds);
    void KillTimer(int id);
    void OnMirrorTick();
    void OnFetchTick();
    bool SayIfMeterLost();
    void ShowGraphStatus(const char* text, int xDivisor, int yDivisor);

    bool Checked(int id) const;
    QComboBox* Combo(int id) const;
    QPushButton* Button(int id) const;

    MeterLink& link_;
    PlotReading shown_;      // before graph_, which reads it
    bool autoSave_ = false;  // the auto-save box, as the next fetch of the window reads it
    std::map<int, QWidget*> controls_;
    std::map<int, QTimer*> timers_;
    QWidget* client_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    CGraphWnd* graph_ = nullptr;
    CBannerWnd* banner_ = nullptr;
    CScanningDlg* scanningPanel_ = nullptr;
    std::unique_ptr<ScreenPollThread> screenPoll_;
    // The recorders, each with its file and its status at the menu bar's right.
    std::unique_ptr<RecordingController> recorder_;
    std::unique_ptr<RecordingController> spectrumRecorder_;
    bool busy_ = false;  // a scan or an exchange holds the user-interface thread
    CloseWay closeRequested_ = CloseWay::None;  // a close request came while busy
    bool closed_ = false;
    int commandDepth_ = 0;  // commands under way (their modal dialogs included)
    std::deque<std::function<void()>> afterBusy_;     // what came while busy, in order
    std::vector<std::function<void()>> portWaiters_;  // recorders' fetches a dialog's port held
    bool runningAfterBusy_ = false;
    std::vector<QPointer<QObject>> busyDisabled_;  // controls and items a user's job disabled
    QPointer<QWidget> busyFocus_;                  // where the focus was before
    QPointer<QMessageBox> closeQuestion_;          // the question before closing, while asked
    std::atomic<bool> stopRequested_{false};
    int mirroredFrames_ = 0;
    bool scanning_ = false;                 // ScanForMeter runs
    int scanIndex_ = -1;                    // the selector index the scan is trying
    std::vector<std::string> scanReasons_;  // ports the scan could not open, and why
    std::vector<std::string> scanHints_;    // "hint: ..." under them, once per cause

    // The screen worker's hand-over: the latest accepted frame, taken by the UI thread.
    // A worker's call to run on the user-interface thread (the scan's visible effects): set and
    // taken under the lock, announced by a data-free notification, waited for on the condition.
    std::mutex workerCallMutex_;
    std::condition_variable workerCallDone_;
    const std::function<void()>* workerCall_ = nullptr;  // guarded by workerCallMutex_

    std::mutex frameMutex_;
    std::array<uint8_t, 1024> pendingFrame_{};  // guarded by frameMutex_
    bool framePending_ = false;                 // guarded by frameMutex_
    std::array<uint8_t, 1024> shownFrame_{};    // user-interface thread only
    bool shownFrameValid_ = false;
};

// Marks a scan or an exchange that holds the user-interface thread. Input goes on reaching the
// window meanwhile: what needs the port or the measurement waits its turn and runs after the
// work, in order. A job the user asked for (byUser) also disables the port's controls and
// shows the busy cursor until it ends. A close request that came meanwhile closes the window
// once the handler has returned.
class CMainDlg::BusyScope {
  public:
    explicit BusyScope(CMainDlg& window, bool byUser = true);
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    CMainDlg& window_;
    bool wasBusy_;
    bool showsBusy_;
};
