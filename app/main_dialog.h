#pragma once
// CMainDlg: the program's one window. Keys, the mirrored meter screen, the graph, fetch
// buttons, display options, the port selector and the menu; its timers drive everything
// the program does by itself (acquisition_scheduler.cpp).

#include <QDialog>
#include <map>
#include <memory>

#include "link/meter_identity.h"
#include "screen/screen_poll.h"

class CGraphWnd;
class CBannerWnd;
class CScanningDlg;
class QComboBox;
class QMenuBar;
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
    explicit CMainDlg(QWidget* parent = nullptr);
    ~CMainDlg() override;

    QWidget* Control(int id) const;
    CGraphWnd* Graph() const { return graph_; }
    CBannerWnd* Banner() const { return banner_; }
    CScanningDlg* ScanningPanel() const { return scanningPanel_; }
    QMenuBar* MenuBar() const { return menuBar_; }

    // The scheduler: one handler for every timer of the window.
    void OnTimer(int id);
    bool TimerArmed(int id) const;
    int TimerPeriod(int id) const;
    // Tests drive the timers themselves; this stops them all.
    void StopAllTimers();

    // A menu command or a button, by id.
    void OnCommand(int id);

    // The measurement commands (measurement_commands.cpp).
    void FetchFieldReading();
    void FetchSpectrum();
    void LoadMeasurement();
    void SaveMeasurement();

    // Frames the mirror has shown since the window opened.
    int MirroredFrames() const { return mirroredFrames_; }

    // The two ways out: OK (Enter) suspends the link, lets a screen run end and closes the
    // port; Cancel (Escape, the close box) closes the port.
    void accept() override;
    void reject() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
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

    void OnDisplayOption(int id);
    void OnThresholdDbm(int index);
    void OnThresholdPower(int index);
    void OnAutoFetchBox(int id);
    void OnKey(const char* command);
    void OnIdentify(int index);
    void StartAutoScan();
    void RunScan();
    void ShowAbout();
    void ShowMirroredFrame(const QImage& image);

    void SetTimer(int id, int milliseconds);
    void KillTimer(int id);
    void OnMirrorTick();
    void OnFetchTick();
    void ShowGraphStatus(const char* text, int xDivisor, int yDivisor);

    bool Checked(int id) const;
    QComboBox* Combo(int id) const;
    QPushButton* Button(int id) const;

    std::map<int, QWidget*> controls_;
    std::map<int, QTimer*> timers_;
    QWidget* client_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    CGraphWnd* graph_ = nullptr;
    CBannerWnd* banner_ = nullptr;
    CScanningDlg* scanningPanel_ = nullptr;
    std::unique_ptr<ScreenPollThread> screenPoll_;
    bool busy_ = false;  // a scan or an exchange holds the user-interface thread
    int mirroredFrames_ = 0;
};
