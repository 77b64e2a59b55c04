#include "terminal/terminal_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTextCursor>
#include <cstdint>
#include <utility>

#include "link/line_receiver.h"
#include "link/link_timing.h"
#include "link/message_seam.h"
#include "link/meter_identity.h"
#include "link/port_guard.h"
#include "link/serial_port.h"
#include "measure/measurement_file.h"
#include "measure/whole_file.h"
#include "res/terminal_dialog_template.h"
#include "terminal/terminal_frame.h"
#include "terminal/terminal_pane.h"
#include "ui/file_dialog.h"
#include "ui/label_ctrl.h"
#include "ui/template_widgets.h"

namespace {

constexpr QColor kPortInfoColour(0, 158, 0);
constexpr const char* kPortInfoFace = "Arial";
constexpr int kPortInfoPoints = 18;

constexpr int kReconnectStopMs = 10;     // after the receiver was told to stop
constexpr int kReconnectReopenMs = 100;  // between the reopen and the connection proper

// The receiver sleeps on the port this long at a time, so a quiet or vanished line costs
// nothing; and it hands bytes over at most this often, so a flood never floods the window.
constexpr int kReceiverPollMs = 20;
constexpr int kBatchIntervalMs = 50;

constexpr const char* kLogDefaultName = "terminal-log.txt";
constexpr FileFilter kLogFilters[] = {{"Text Files (*.txt)", "*.txt"}, {"All Files (*.*)", "*.*"}};
constexpr const char* kLogNotWritten = "The log could not be written to ";

std::string Latin1(const QString& text) {
    return text.toLatin1().toStdString();
}

QString FromLatin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

void ScrollToEnd(QPlainTextEdit* pane) {
    pane->moveCursor(QTextCursor::End);
    pane->ensureCursorVisible();
}

// Shows the pane's text model in its widget: whole after a start-over, otherwise only the
// new tail. A CR LF pair split across two batches stays one line break in the widget too.
void MirrorPane(QPlainTextEdit* pane, const std::string& model, size_t oldSize, bool startedOver) {
    if (startedOver) {
        pane->setPlainText(FromLatin1(model));
    } else {
        size_t from = oldSize;
        if (from > 0 && from < model.size() && model[from - 1] == '\r' && model[from] == '\n')
            ++from;
        if (from < model.size()) {
            QTextCursor cursor(pane->document());
            cursor.movePosition(QTextCursor::End);
            cursor.insertText(FromLatin1(model.substr(from)));
        }
    }
    ScrollToEnd(pane);
}

}  // namespace

CTerminalDlg::CTerminalDlg(int selectorIndex, CSerialPort& port, QWidget* parent)
    : QDialog(parent), selectorIndex_(selectorIndex), port_(port) {
    BuildDialog();
    StyleControls();
    FillCommandList();
    ConnectHandlers();
    ConnectTerminal();
}

CTerminalDlg::~CTerminalDlg() {
    HandBackLink();
}

QWidget* CTerminalDlg::Control(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

void CTerminalDlg::BuildDialog() {
    setWindowTitle(QString::fromLatin1(kTerminalDialogTemplate.caption));
    setFixedSize(DialogSizeToPixels(kTerminalDialogTemplate));
    setFont(DialogFont());
    controls_ = BuildControls(kTerminalDialogTemplate, this,
                              [](const ControlTemplate& row, QWidget* parent) -> QWidget* {
                                  if (row.id != kIdPortInfo) return nullptr;
                                  return new CLabelCtrl(ResourceText(row.caption), parent);
                              });
}

// The port line in green bold Arial; bold first, since it rebuilds the font from the
// widget's own and would lose a face set before it.
void CTerminalDlg::StyleControls() {
    PortLabel()->SetLabelColor(kPortInfoColour, false);
    PortLabel()->SetLabelBold(true, false);
    PortLabel()->SetLabelFont(kPortInfoFace, kPortInfoPoints, false);
    for (int id : {kIdHexPane, kIdTextPane})
        Pane(id)->setUndoRedoEnabled(false);  // read-only panes: an undo history only costs memory
    CommandBox()->setCompleter(nullptr);      // names are typed as they are, never completed
    CommandBox()->installEventFilter(this);
    CommandBox()->lineEdit()->installEventFilter(this);
}

void CTerminalDlg::FillCommandList() {
    for (const char* command : kTerminalCommands)
        CommandBox()->addItem(QString::fromLatin1(command));
    CommandBox()->setCurrentIndex(-1);
    CommandBox()->setEditText(QString());
}

void CTerminalDlg::ConnectHandlers() {
    auto button = [this](int id) { return static_cast<QPushButton*>(Control(id)); };
    connect(CommandBox(), &QComboBox::currentTextChanged, this, &CTerminalDlg::ApplyParameterRule);
    connect(static_cast<QCheckBox*>(Control(kIdTextParameters)), &QCheckBox::toggled, this,
            [this](bool checked) { TextParameters = checked ? 1 : 0; });
    connect(button(kIdSendCommand), &QPushButton::clicked, this,
            &CTerminalDlg::SendTerminalCommand);
    connect(button(kIdReconnect), &QPushButton::clicked, this, &CTerminalDlg::Reconnect);
    connect(button(kIdClearHex), &QPushButton::clicked, this, [this] { ClearPane(kIdHexPane); });
    connect(button(kIdClearText), &QPushButton::clicked, this, [this] { ClearPane(kIdTextPane); });
    connect(button(kIdOk), &QPushButton::clicked, this, &QDialog::accept);
    connect(button(kIdSaveLog), &QPushButton::clicked, this, &CTerminalDlg::SaveLog);
    for (const TerminalKeyButton& key : kTerminalKeyButtons)
        connect(button(key.control), &QPushButton::clicked, this,
                [this, command = key.command] { SendKeyCommand(command); });
}

void CTerminalDlg::ApplyParameterRule(const QString& command) {
    const ParameterRule rule = ParameterRuleFor(Latin1(command));
    if (rule.text) ParameterBox()->setText(FromLatin1(*rule.text));
    ParameterBox()->setEnabled(rule.enabled);
}

// The key's name goes into the box as if typed, but without its parameter rule.
void CTerminalDlg::SendKeyCommand(const char* command) {
    {
        const QSignalBlocker quiet(CommandBox());
        CommandBox()->setEditText(QString::fromLatin1(command));
    }
    SendTerminalCommand();
}

void CTerminalDlg::ClearPane(int id) {
    (id == kIdHexPane ? hexPane_ : textPane_).clear();
    if (id == kIdTextPane) log_.Clear();
    Pane(id)->clear();
}

// Up and Down in the command box walk the commands sent, as a shell's history does, instead of
// the command list; past the newest the boxes are empty again.
bool CTerminalDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            RecallSent(key == Qt::Key_Up ? -1 : 1);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CTerminalDlg::RememberSent() {
    SentCommand command{CommandBox()->currentText(), ParameterBox()->text(), TextParameters != 0};
    const bool repeated = !sent_.empty() && sent_.back().command == command.command &&
                          sent_.back().parameters == command.parameters &&
                          sent_.back().textParameters == command.textParameters;
    if (!repeated) sent_.push_back(std::move(command));
    recallAt_ = sent_.size();
}

void CTerminalDlg::RecallSent(int step) {
    if (step < 0 && recallAt_ == 0) return;
    if (step > 0 && recallAt_ == sent_.size()) return;
    recallAt_ = static_cast<size_t>(static_cast<long>(recallAt_) + step);
    const SentCommand shown = recallAt_ < sent_.size() ? sent_[recallAt_] : SentCommand{};
    {
        const QSignalBlocker quiet(CommandBox());  // the parameters come back as they were sent
        CommandBox()->setEditText(shown.command);
    }
    ParameterBox()->setText(shown.parameters);
    ParameterBox()->setEnabled(ParameterRuleFor(Latin1(shown.command)).enabled);
    static_cast<QCheckBox*>(Control(kIdTextParameters))->setChecked(shown.textParameters);
}

void CTerminalDlg::SaveLog() {
    CFileLocalDlg dialog(false, kLogDefaultName, kLogFilters, this);
    if (!dialog.DoModal() || dialog.PathName().empty()) return;
    std::string error;
    if (!WriteFileWhole(dialog.PathName(), textPane_, &error))
        ShowMessage(kLogNotWritten + dialog.PathName() + ": " + error);
}

// The log pane follows the pane's start-over rule: once it counts more than half its limit,
// the text that would be appended replaces it.
void CTerminalDlg::AppendToLog(const std::string& text) {
    if (text.empty()) return;
    const size_t before = textPane_.size();
    const bool startsOver = PaneCountedLength(textPane_) > kTerminalPaneLimit / 2;
    AppendToPane(textPane_, text, kTerminalPaneLimit);
    MirrorPane(Pane(kIdTextPane), textPane_, before, startsOver);
}

void CTerminalDlg::SendTerminalCommand() {
    const TerminalFrameResult result = BuildTerminalFrame(
        Latin1(CommandBox()->currentText()), Latin1(ParameterBox()->text()), TextParameters != 0);
    switch (result.status) {
        case TerminalFrameStatus::Nothing:
            return;
        case TerminalFrameStatus::ParameterError:
        case TerminalFrameStatus::SpaceNeeded:
            ShowMessage(TerminalFrameMessage(result.status));
            return;
        case TerminalFrameStatus::Frame:
            break;
    }
    LastFrameBox()->setText(FromLatin1(FrameReadout(result.frame)));
    RememberSent();
    // A frame over 32 bytes is refused here, with its message, after the read-out shows it.
    const int sent = port_.Send(result.frame.data(), static_cast<int>(result.frame.size()));
    if (sent == kSendTooLong) ShowMessage(kSendTooLongMessage);
    if (sent > 0) AppendToLog(log_.Sent(result.frame, TerminalClock::now()));
}

void CTerminalDlg::ConnectTerminal() {
    StopReceiver();
    if (!ReopenPort()) {
        ShowMessage(kTerminalOpenError);
        return;
    }
    PortLabel()->setText(FromLatin1(PortInfoText(selectorIndex_ + 1)));
    port_.Purge();  // what the screen mirror left unread is no answer to this terminal
    StartReceiver();
}

void CTerminalDlg::Reconnect() {
    StopReceiver();
    SleepMs(kReconnectStopMs);
    if (!ReopenPort()) {
        ShowMessage(kTerminalOpenError);
        return;
    }
    SleepMs(kReconnectReopenMs);
    ConnectTerminal();
}

bool CTerminalDlg::ReopenPort() {
    port_.Close();
    return port_.Open(selectorIndex_ + 1) != 0;
}

bool CTerminalDlg::ReceiverRunning() const {
    return receiver_.joinable() && TerminalRunning;
}

// Raised before the thread starts, so a stop that comes at once is never overwritten.
void CTerminalDlg::StartReceiver() {
    StopReceiver();
    TerminalRunning = true;
    receiver_ = std::thread([this] { TerminalReceiver(); });
}

void CTerminalDlg::StopReceiver() {
    TerminalRunning = false;
    if (receiver_.joinable()) receiver_.join();
    TakeReceived();  // the receiver's last batch, whether or not its notification came yet
}

// Sleeps on the port while the line is quiet; takes whatever is queued when bytes come and
// hands it to the user-interface thread once the line pauses or a batch interval has passed.
void CTerminalDlg::TerminalReceiver() {
    ReceivedBatch batch;
    ReceiveUntilQuiet(port_, {kReceiverPollMs, 0, 0, false}, &TerminalRunning,
                      [&](const uint8_t* bytes, int count) {
                          if (count > 0) {
                              if (batch.bytes.empty()) batch.at = TerminalClock::now();
                              batch.bytes.append(reinterpret_cast<const char*>(bytes),
                                                 static_cast<size_t>(count));
                          }
                          const bool batchDue =
                              count == 0 || TerminalClock::now() - batch.at >=
                                                std::chrono::milliseconds(kBatchIntervalMs);
                          if (!batch.bytes.empty() && batchDue)
                              PostReceived(std::exchange(batch, ReceivedBatch{}));
                      });
    if (!batch.bytes.empty()) PostReceived(std::move(batch));
    TerminalRunning = false;
}

// Receiver thread: the bytes wait in a locked slot; the notification itself carries no data,
// so the hand-over is visible to race checkers that cannot see inside the toolkit's queue.
void CTerminalDlg::PostReceived(ReceivedBatch batch) {
    bool notify = false;
    {
        std::lock_guard lock(receivedMutex_);
        received_.push_back(std::move(batch));
        notify = !receivedNotified_;
        receivedNotified_ = true;
    }
    if (notify) QMetaObject::invokeMethod(this, "TakeReceived", Qt::QueuedConnection);
}

void CTerminalDlg::TakeReceived() {
    std::vector<ReceivedBatch> batches;
    {
        std::lock_guard lock(receivedMutex_);
        batches.swap(received_);
        receivedNotified_ = false;
    }
    for (const ReceivedBatch& batch : batches)
        ShowReceived(batch);
}

void CTerminalDlg::ShowReceived(const ReceivedBatch& batch) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(batch.bytes.data());
    const size_t hexBefore = hexPane_.size();
    const bool hexStartedOver =
        AppendBytesToHexPane(hexPane_, bytes, batch.bytes.size(), kTerminalPaneLimit);
    MirrorPane(Pane(kIdHexPane), hexPane_, hexBefore, hexStartedOver);
    AppendToLog(log_.Received(bytes, batch.bytes.size(), batch.at));
}

void CTerminalDlg::done(int result) {
    HandBackLink();
    QDialog::done(result);
}

void CTerminalDlg::HandBackLink() {
    if (linkHandedBack_) return;
    linkHandedBack_ = true;
    StopReceiver();
}

CLabelCtrl* CTerminalDlg::PortLabel() const {
    return static_cast<CLabelCtrl*>(Control(kIdPortInfo));
}

QComboBox* CTerminalDlg::CommandBox() const {
    return static_cast<QComboBox*>(Control(kIdCommand));
}

QLineEdit* CTerminalDlg::ParameterBox() const {
    return static_cast<QLineEdit*>(Control(kIdParameters));
}

QLineEdit* CTerminalDlg::LastFrameBox() const {
    return static_cast<QLineEdit*>(Control(kIdLastFrame));
}

QPlainTextEdit* CTerminalDlg::Pane(int id) const {
    return static_cast<QPlainTextEdit*>(Control(id));
}

void OpenTerminalCommand(QWidget* mainWindow, MeterLink& link, int selectorIndex) {
    PortGuard guard(link, PortHolder::Dialog);
    if (!link.DeviceConnected) {
        ShowMessage(kComportError);
        return;
    }
    CTerminalDlg terminal(selectorIndex, link.port, mainWindow);
    terminal.exec();
}  // the terminal has joined its receiver before the guard gives the port back
