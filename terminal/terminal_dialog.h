#pragma once
// CTerminalDlg ("HX Terminal"): raw commands to the meter and a live view of everything it
// sends back, in hexadecimal and as a time-stamped log of what went each way (TerminalLog),
// which can be saved to a file. Up and Down in the command box bring back the commands sent
// before. It starts empty: bytes that came before it opened are dropped. While it is open the
// terminal owns the link: its opener holds the port as a dialog's, and its receiver thread is
// the only reader of the port. User-interface thread only, apart from TerminalReceiver.

#include <QDialog>
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/meter_link.h"
#include "terminal/terminal_log.h"

class CLabelCtrl;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;

class CTerminalDlg : public QDialog {
    Q_OBJECT

  public:
    // selectorIndex is the main window's port selector index: the terminal opens COM
    // index + 1 on port. The dialog is ready when constructed: controls built, port reopened
    // and the receiver running (or "Comport open error" shown and no receiver).
    CTerminalDlg(int selectorIndex, CSerialPort& port, QWidget* parent = nullptr);
    ~CTerminalDlg() override;
    CTerminalDlg(const CTerminalDlg&) = delete;
    CTerminalDlg& operator=(const CTerminalDlg&) = delete;

    QWidget* Control(int id) const;

    // Closes and reopens the port, shows its settings, purges and starts the receiver; on a
    // failed open shows "Comport open error" and leaves no receiver.
    void ConnectTerminal();
    // Reconnect (1192): stops and joins the receiver, then reopens and connects again.
    void Reconnect();
    // Send (1189): frames the two boxes and sends, or says why not.
    void SendTerminalCommand();

    bool ReceiverRunning() const;
    // The panes' texts: the hexadecimal bytes as received, and the log.
    const std::string& HexPaneContent() const { return hexPane_; }
    const std::string& TextPaneContent() const { return textPane_; }

    // Save Log (1230): writes the log to a file the user names, whole or not at all.
    void SaveLog();

    // Every way out (Exit, Enter, Escape, the close box) stops and joins the receiver; the
    // port stays open.
    void done(int result) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // A command as sent, for Up and Down to bring back.
    struct SentCommand {
        QString command;
        QString parameters;
        bool textParameters = false;
    };
    // Bytes the receiver took in one go, with when the first of them came.
    struct ReceivedBatch {
        TerminalClock::time_point at;
        std::string bytes;
    };

    // User-interface thread: shows what the receiver has handed over since the last time.
    Q_INVOKABLE void TakeReceived();

    void BuildDialog();
    void StyleControls();
    void FillCommandList();
    void ConnectHandlers();
    void ApplyParameterRule(const QString& command);
    void SendKeyCommand(const char* command);
    void ClearPane(int id);
    void RememberSent();
    void RecallSent(int step);
    void AppendToLog(const std::string& text);

    bool ReopenPort();
    void StartReceiver();
    void StopReceiver();
    void TerminalReceiver();
    void PostReceived(ReceivedBatch batch);
    void ShowReceived(const ReceivedBatch& batch);
    void HandBackLink();

    CLabelCtrl* PortLabel() const;
    QComboBox* CommandBox() const;
    QLineEdit* ParameterBox() const;
    QLineEdit* LastFrameBox() const;
    QPlainTextEdit* Pane(int id) const;

    const int selectorIndex_;
    std::map<int, QWidget*> controls_;
    int TextParameters = 0;  // 1 while "Text Parameters" is checked
    CSerialPort& port_;
    std::atomic<bool> TerminalRunning{false};
    std::thread receiver_;
    std::mutex receivedMutex_;
    std::vector<ReceivedBatch> received_;  // what the receiver handed over, not yet shown
    bool receivedNotified_ = false;        // a notification for received_ is on its way
    std::string hexPane_;
    std::string textPane_;
    TerminalLog log_;
    std::vector<SentCommand> sent_;
    size_t recallAt_ = 0;  // sent_.size() while no earlier command is shown
    bool linkHandedBack_ = false;
};

// Tools > HX Terminal: takes the port from the screen mirror, runs the terminal modally on
// the port the selector shows, and gives the port back. With no meter identified it shows
// "Comport Error" instead.
void OpenTerminalCommand(QWidget* mainWindow, MeterLink& link, int selectorIndex);
