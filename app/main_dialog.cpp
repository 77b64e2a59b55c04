#include "app/main_dialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <thread>
#include <utility>

#include "app/about_dialog.h"
#include "app/recording_window.h"
#include "app/scanning_panel.h"
#include "graph/banner_wnd.h"
#include "graph/display_options.h"
#include "graph/graph_window.h"
#include "graph/plot_geometry.h"
#include "history/history_dialog.h"
#include "link/clock_sync.h"
#include "link/command_frame.h"
#include "link/link_timing.h"
#include "link/message_seam.h"
#include "link/meter_identity.h"
#include "link/port_diagnosis.h"
#include "link/port_guard.h"
#include "link/port_table.h"
#include "measure/auto_save.h"
#include "measure/measurement.h"
#include "measure/spectrum.h"
#include "res/main_dialog_template.h"
#include "screen/screen_frame.h"
#include "screen/screenshot_actions.h"
#include "terminal/terminal_dialog.h"
#include "ui/template_widgets.h"

namespace {

constexpr QColor kDialogColour(200, 200, 200);
constexpr int kInitialDbmItem = 30;    // "-98 (dBm)"
constexpr int kInitialPowerItem = 40;  // "1.585 pW": the two lists disagree until changed
constexpr int kBusyPumpMs = 5;         // how long one look at the event queue may take while busy
constexpr int kListMarginPx = 24;      // an open list's scroll bar and frame beside its widest item

constexpr const char* kAutoSpectrumTip = "Fetch a spectrum every second";
constexpr const char* kAutoFieldTip = "Fetch a field reading every second";
constexpr const char* kAutoSaveTip = "Save every fetched measurement in Ferrolog_AutoSave";

// The check boxes that only choose what the graph shows, and the flag each one sets.
struct DisplayBox {
    int id;
    uint8_t DisplayOptions::*flag;
};
const DisplayBox kDisplayBoxes[] = {
    {kIdLine, &DisplayOptions::ShowLine},   {kIdBar, &DisplayOptions::ShowBar},
    {kIdPower, &DisplayOptions::ShowPower}, {kIdShowX, &DisplayOptions::ShowX},
    {kIdShowY, &DisplayOptions::ShowY},     {kIdShowZ, &DisplayOptions::ShowZ},
    {kIdShowEmf, &DisplayOptions::ShowEmf},
};

// The seven key buttons and the frame each one sends.
struct KeyButton {
    int id;
    const char* command;
};
const KeyButton kKeyButtons[] = {
    {kIdKeyBack, "KEY0"},   {kIdKeyDown, "KEY1"},      {kIdKeyUp, "KEY2"},
    {kIdKeySelect, "KEY3"}, {kIdHoldDown, "KEYHOLD1"}, {kIdHoldUp, "KEYHOLD2"},
    {kIdOnOff, "KEYHOLD3"},
};

// The room a window has on its screen, less its frame and title bar, which are not known
// before it is first shown.
QSize RoomOnScreen(const QWidget& window) {
    const QScreen* screen = window.screen();
    if (!screen) return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const int frame = 2 * window.style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    const int title = window.style()->pixelMetric(QStyle::PM_TitleBarHeight);
    return screen->availableGeometry().size() - QSize(frame, frame + title);
}

constexpr const char* kRecordingQuestion = "A recording is running. Stop it and close Ferrolog?";
constexpr const char* kDownloadQuestion = "A download is running. Stop it and close Ferrolog?";

// The controls that talk to the meter: disabled while a job the user asked for holds the port.
constexpr int kPortControls[] = {
    kIdKeyBack, kIdKeyDown, kIdKeyUp,       kIdKeySelect,    kIdHoldDown, kIdHoldUp,
    kIdOnOff,   kIdGetEmf,  kIdGetSpectrum, kIdPortSelector, kIdAutoOpen,
};

// The commands that need the port or the measurement, or bring a box with a loop of its own:
// clicked while an exchange holds the window, they run after it. The Tools stop items and the
// ways out are not among them.
constexpr int kWaitingCommands[] = {
    kIdGetSpectrum,      kIdGetEmf,         kCmdLoad,        kCmdSave,
    kCmdAbout,           kCmdSystemAbout,   kCmdTerminal,    kCmdSyncTime,
    kCmdDownloadHistory, kCmdSaveScreen,    kCmdScreenshot1, kCmdScreenshot2,
    kCmdScreenshot3,     kCmdScreenshot4,   kCmdOpenHistory, kCmdOpenRecording,
    kCmdRecordField,     kCmdRecordSpectra,
};

bool WaitsForFreeWindow(int id) {
    return std::find(std::begin(kWaitingCommands), std::end(kWaitingCommands), id) !=
           std::end(kWaitingCommands);
}

bool IsMouseInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
            return true;
        default:
            return false;
    }
}

// The scan runs on a worker so that the window can take a close request during a port's long
// wait; what the scan shows is done on the user-interface thread while the worker waits.
class WorkerDiscoveryView : public DiscoveryView {
  public:
    WorkerDiscoveryView(CMainDlg& window, DiscoveryView& shown, const std::atomic<bool>& stop)
        : window_(window), shown_(shown), stop_(stop), clock_(window.Link().port.clock()) {}

    void SelectPortIndex(int index) override {
        OnWindowThread([&] { shown_.SelectPortIndex(index); });
    }
    void SetAutoCaption(const std::string& text) override {
        OnWindowThread([&] { shown_.SetAutoCaption(text); });
    }
    void HideScanningPanel() override {
        OnWindowThread([&] { shown_.HideScanningPanel(); });
    }
    void ShowMessage(const std::string& text) override {
        OnWindowThread([&] { shown_.ShowMessage(text); });
    }
    // The window paints by itself meanwhile; the worker only waits, on the link's clock,
    // ending early on a stop.
    void Sleep(int milliseconds) override {
        const int64_t deadline = clock_.NowMs() + milliseconds;
        while (clock_.NowMs() < deadline && !stop_)
            clock_.SleepMs(1);
    }

  private:
    void OnWindowThread(const std::function<void()>& call) { window_.CallOnWindowThread(call); }

    CMainDlg& window_;
    DiscoveryView& shown_;
    const std::atomic<bool>& stop_;
    Clock& clock_;
};

}  // namespace

CMainDlg::BusyScope::BusyScope(CMainDlg& window, bool byUser)
    : window_(window), wasBusy_(window.busy_), showsBusy_(byUser && !window.busy_) {
    window_.busy_ = true;
    if (showsBusy_) window_.ShowBusy(true);
}

CMainDlg::BusyScope::~BusyScope() {
    window_.busy_ = wasBusy_;
    if (showsBusy_) window_.ShowBusy(false);
    if (wasBusy_) return;
    // What came meanwhile runs from the event loop, once the handler that was busy has ended.
    if (!window_.afterBusy_.empty())
        QTimer::singleShot(0, &window_, [window = &window_] { window->RunAfterBusy(); });
    window_.CloseWhenFree();
}

CMainDlg::CMainDlg(MeterLink& link, QWidget* parent) : QDialog(parent), link_(link) {
    BuildWindow();
    BuildMenu();
    LayOutWindow();
    ApplyColours();
    ConnectHandlers();
    screenPoll_ = std::make_unique<ScreenPollThread>(
        link_, [this](const uint8_t* pixels) { HandOverFrame(pixels); });
    graph_->installEventFilter(this);
    InitialiseDialog();
}

CMainDlg::~CMainDlg() {
    // Stop the screen worker before the window and the port it uses go.
    link_.StopScreenPoll = true;
    StopAllTimers();
    screenPoll_.reset();
}

QWidget* CMainDlg::Control(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

bool CMainDlg::Checked(int id) const {
    return static_cast<QCheckBox*>(Control(id))->isChecked();
}
QComboBox* CMainDlg::Combo(int id) const {
    return static_cast<QComboBox*>(Control(id));
}
QPushButton* CMainDlg::Button(int id) const {
    return static_cast<QPushButton*>(Control(id));
}

void CMainDlg::BuildWindow() {
    setWindowTitle(QString::fromLatin1(kProgramTitle));
    setWindowIcon(ProgramIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    menuBar_ = new QMenuBar(this);
    client_ = new QWidget(this);
    controls_ = BuildControls(kMainDialogTemplate, client_,
                              [this](const ControlTemplate& row, QWidget* parent) -> QWidget* {
                                  if (row.id == kIdGraph)
                                      return graph_ = new CGraphWnd(shown_, parent);
                                  if (row.id == kIdBanner) return banner_ = new CBannerWnd(parent);
                                  return nullptr;
                              });
    scanningPanel_ = new CScanningDlg(client_);
    for (int n = 1; n <= PortTable::kPortCount; ++n) {
        Combo(kIdPortSelector)->addItem(QStringLiteral("COM%1").arg(n));
        std::string path = link_.port.Ports().PathOf(n);
        if (!path.empty())
            Combo(kIdPortSelector)
                ->setItemData(n - 1, QString::fromStdString(path), Qt::ToolTipRole);
    }
    for (int i = 0; i < kThresholdListItems; ++i)
        Combo(kIdThresholdDbm)->addItem(QString::fromStdString(DbmListText(i)));
    Control(kIdAutoSpectrum)->setToolTip(QString::fromLatin1(kAutoSpectrumTip));
    Control(kIdAutoField)->setToolTip(QString::fromLatin1(kAutoFieldTip));
    Control(kIdAutoSave)->setToolTip(QString::fromLatin1(kAutoSaveTip));
}

// The closed lists are as narrow as the template makes them: their text gets the room of the
// frame, and an open list is as wide as its widest item.
void CMainDlg::FitListsToTheirItems() {
    for (int id : {kIdThresholdDbm, kIdThresholdPower, kIdPortSelector}) {
        QComboBox* combo = Combo(id);
        combo->setStyleSheet(
            QStringLiteral("QComboBox { padding-left: 1px; padding-right: 0px; }"
                           "QComboBox::drop-down { width: 12px; }"));
        combo->view()->setMinimumWidth(combo->view()->sizeHintForColumn(0) + kListMarginPx);
    }
}

// The selector's tooltip names the device behind the chosen COM number.
void CMainDlg::ShowPortDevice(int index) {
    const std::string path = link_.port.Ports().PathOf(index + 1);
    Combo(kIdPortSelector)
        ->setToolTip(path.empty() ? QString() : QString::fromLocal8Bit(path.c_str()));
}

// The menu bar above, the template's client area below it.
void CMainDlg::LayOutWindow() {
    const QSize clientSize = DialogSizeToPixels(kMainDialogTemplate);
    const int menuHeight = menuBar_->sizeHint().height();
    const QSize whole(clientSize.width(), clientSize.height() + menuHeight);
    const QSize room = RoomOnScreen(*this);
    if (whole.width() <= room.width() && whole.height() <= room.height()) {
        menuBar_->setGeometry(0, 0, clientSize.width(), menuHeight);
        client_->setGeometry(0, menuHeight, clientSize.width(), clientSize.height());
        setFixedSize(whole);
        return;
    }
    // The fixed layout would run off the screen (a small one, or one scaled 2x): the controls
    // keep their places and sizes in a scroll area as large as the screen has room for.
    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    client_->resize(clientSize);
    client_->setAutoFillBackground(true);
    scroll->setWidget(client_);
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const QSize shown = QSize(whole.width() + bar, whole.height() + bar).boundedTo(room);
    menuBar_->setGeometry(0, 0, shown.width(), menuHeight);
    scroll->setGeometry(0, menuHeight, shown.width(), shown.height() - menuHeight);
    setFixedSize(shown);
}

void CMainDlg::BuildMenu() {
    std::map<std::string, QMenu*> menus;
    for (const MenuItemTemplate& item : kMainMenu) {
        QMenu*& menu = menus[item.menu];
        if (!menu) menu = menuBar_->addMenu(QString::fromLatin1(item.menu));
        QMenu* target = menu;
        if (item.submenu) {
            QMenu*& sub = menus[std::string(item.menu) + "/" + item.submenu];
            if (!sub) sub = menu->addMenu(QString::fromLatin1(item.submenu));
            target = sub;
        }
        if (!item.caption) {
            target->addSeparator();
            continue;
        }
        const QStringList caption = QString::fromLatin1(item.caption).split(QLatin1Char('\t'));
        QAction* action = target->addAction(caption.front());
        if (caption.size() > 1) action->setShortcut(QKeySequence(caption.back()));
        action->setData(item.id);
        // Quit leaves as the close box does, asking what the close box asks.
        if (item.id == kCmdQuit)
            connect(action, &QAction::triggered, this, &QWidget::close);
        else
            connect(action, &QAction::triggered, this, [this, id = item.id] { OnCommand(id); });
    }
    // A recording also ends by its view's button or on a failure: its stop item follows it
    // each time the menu opens.
    connect(menus["&Tools"], &QMenu::aboutToShow, this, [this] { EnableStopItems(); });
    EnableStopItems();
}

void CMainDlg::EnableStopItems() {
    for (QAction* action : menuBar_->findChildren<QAction*>()) {
        const int id = action->data().toInt();
        if (id != kCmdStopFieldRecording && id != kCmdStopSpectrumRecording) continue;
        const RecordingController* recorder =
            id == kCmdStopFieldRecording ? recorder_.get() : spectrumRecorder_.get();
        action->setEnabled(recorder && recorder->Recording());
    }
}

void CMainDlg::ApplyColours() {
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kDialogColour);
    palette.setColor(QPalette::WindowText, Qt::black);
    setPalette(palette);
    setAutoFillBackground(true);
}

void CMainDlg::ConnectHandlers() {
    for (const DisplayBox& box : kDisplayBoxes)
        connect(static_cast<QCheckBox*>(Control(box.id)), &QCheckBox::clicked, this,
                [this, id = box.id] { OnDisplayOption(id); });
    for (const KeyButton& key : kKeyButtons)
        connect(Button(key.id), &QPushButton::clicked, this, [this, c = key.command] { OnKey(c); });
    connect(static_cast<QCheckBox*>(Control(kIdPause)), &QCheckBox::clicked, this,
            [this] { link_.MirrorPaused = Checked(kIdPause); });
    // A fetch under way reads the auto-save flag on its worker: the box counts from the next.
    connect(static_cast<QCheckBox*>(Control(kIdAutoSave)), &QCheckBox::clicked, this,
            [this] { WhenFree([this] { autoSave_ = Checked(kIdAutoSave); }); });
    for (int id : {kIdAutoField, kIdAutoSpectrum})
        connect(static_cast<QCheckBox*>(Control(id)), &QCheckBox::clicked, this,
                [this, id] { OnAutoFetchBox(id); });
    connect(Combo(kIdThresholdDbm), &QComboBox::activated, this, &CMainDlg::OnThresholdDbm);
    connect(Combo(kIdThresholdPower), &QComboBox::activated, this, &CMainDlg::OnThresholdPower);
    connect(Combo(kIdPortSelector), &QComboBox::activated, this, &CMainDlg::OnIdentify);
    connect(Combo(kIdPortSelector), &QComboBox::currentIndexChanged, this,
            &CMainDlg::ShowPortDevice);
    connect(Button(kIdAutoOpen), &QPushButton::clicked, this, &CMainDlg::StartAutoScan);
    for (int id : {kIdGetSpectrum, kIdGetEmf})
        connect(Button(id), &QPushButton::clicked, this, [this, id] { OnCommand(id); });
}

void CMainDlg::InitialiseDialog() {
    Combo(kIdThresholdDbm)->setCurrentIndex(kInitialDbmItem);
    OnThresholdDbm(kInitialDbmItem);  // the power list is still empty: it stays unselected
    FillThresholdLists();
    Combo(kIdThresholdPower)->setCurrentIndex(kInitialPowerItem);
    Combo(kIdPortSelector)->setCurrentIndex(0);
    ShowPortDevice(0);
    FitListsToTheirItems();
    for (const DisplayBox& box : kDisplayBoxes)
        static_cast<QCheckBox*>(Control(box.id))->setChecked(graph_->Options().*box.flag);
    graph_->RenderAll();
    banner_->Build();
    SetTimer(kTimerMirror, 500);
    SetTimer(kTimerBanner, 10);
    SetTimer(kTimerStartScan, 200);
    SetTimer(kTimerFetch, 1000);
    static_cast<QCheckBox*>(Control(kIdAutoSpectrum))->setChecked(false);
    static_cast<QCheckBox*>(Control(kIdAutoField))->setChecked(false);
}

void CMainDlg::FillThresholdLists() {
    for (int i = 0; i < kThresholdListItems; ++i)
        Combo(kIdThresholdPower)->addItem(QString::fromStdString(ThresholdListText(i)));
}

// The plot is redrawn from the measurement, which a fetch under way may be writing: then the
// new look shows once it has ended (a spectrum's sweeps show it before each sweep).
void CMainDlg::OnDisplayOption(int id) {
    for (const DisplayBox& box : kDisplayBoxes)
        if (box.id == id) graph_->Options().*box.flag = Checked(id);
    WhenFree([this] { graph_->Refresh(); });
}

// A fetch under way reads the threshold: the new one counts from the next.
void CMainDlg::OnThresholdDbm(int index) {
    Combo(kIdThresholdPower)->setCurrentIndex(index);
    WhenFree([this, index] {
        // The number the item shows ("-98 (dBm)"), from the table the list is built from.
        shown_.threshold = ThresholdForListItem(index);
        graph_->Refresh();
    });
}

void CMainDlg::OnThresholdPower(int index) {
    Combo(kIdThresholdDbm)->setCurrentIndex(index);
    OnThresholdDbm(index);
}

void CMainDlg::OnAutoFetchBox(int id) {
    const int other = id == kIdAutoField ? kIdAutoSpectrum : kIdAutoField;
    if (Checked(id)) static_cast<QCheckBox*>(Control(other))->setChecked(false);
}

void CMainDlg::OnKey(const char* command) {
    // A key pressed during a fetch would land in the middle of its exchange: it goes after it.
    if (busy_) return AfterBusy([this, command] { OnKey(command); });
    // Written at once, also while a screen run waits; the port serialises whole frames.
    Bytes frame = BuildFrame(command);
    link_.port.Send(frame.data(), static_cast<int>(frame.size()));
}

void CMainDlg::OnIdentify(int index) {
    if (busy_) return AfterBusy([this, index] { OnIdentify(index); });
    bool found = false;
    {
        BusyScope busy(*this);
        StopMirroring();
        link_.LinkLost = false;
        found = IdentifyMeter(index, link_, *this);
    }
    if (!found) banner_->Present();  // an old frame must not stand there as if live
}

void CMainDlg::StartAutoScan() {
    if (busy_) return AfterBusy([this] { StartAutoScan(); });
    scanningPanel_->show();
    scanningPanel_->raise();
    SetTimer(kTimerScan, 10);
}

// The worker starts no run of its own until a tick after the scan or identification, and a
// run under way lets go before the port is closed and reopened.
void CMainDlg::StopMirroring() {
    screenPoll_->SetMirroring(false, 0);
    PortGuard guard(link_);
}

void CMainDlg::RunScan() {
    bool found = false;
    {
        BusyScope busy(*this);
        StopMirroring();
        link_.LinkLost = false;
        scanning_ = true;
        scanIndex_ = -1;
        scanReasons_.clear();
        scanHints_.clear();
        WorkerDiscoveryView view(*this, *this, stopRequested_);
        RunWhilePumping([&] { found = ScanForMeter(link_, view, nullptr, &stopRequested_); });
        scanning_ = false;
    }
    if (!found) banner_->Present();
}

void CMainDlg::OnCommand(int id) {
    if (busy_ && WaitsForFreeWindow(id)) return AfterBusy([this, id] { OnCommand(id); });
    // A close request during the command's own dialogs closes the window once it has ended.
    ++commandDepth_;
    const auto ended = qScopeGuard([this] {
        if (--commandDepth_ == 0 && !portWaiters_.empty())
            QTimer::singleShot(0, this, [this] {
                for (const std::function<void()>& wait : std::exchange(portWaiters_, {}))
                    wait();
            });
        CloseWhenFree();
    });
    switch (id) {
        case kCmdAbout:
        case kCmdSystemAbout:
            ShowAbout();
            break;
        case kIdGetSpectrum:
            if (SpectrumSupported(link_.DeviceModel))
                FetchSpectrum();
            else
                ::ShowMessage(kNotSupported);
            break;
        case kIdGetEmf:
            FetchFieldReading();
            break;
        case kCmdLoad:
            LoadMeasurement();
            break;
        case kCmdSave:
            SaveMeasurement();
            break;
        default:
            RunMenuCommand(id);
            break;
    }
}

// The menu's commands that take the port for a dialog of their own.
void CMainDlg::RunMenuCommand(int id) {
    switch (id) {
        case kCmdSaveScreen:
            SaveScreenCommand(this, link_, [this] {
                std::lock_guard lock(frameMutex_);
                return pendingFrame_;  // the newest frame the worker handed over, taken or not
            });
            break;
        case kCmdDownloadHistory:
            RunDownloadHistory(this, link_);
            break;
        case kCmdScreenshot1:
        case kCmdScreenshot2:
        case kCmdScreenshot3:
        case kCmdScreenshot4:
            DownloadScreenshotCommand(this, link_, static_cast<char>('1' + id - kCmdScreenshot1));
            break;
        case kCmdSyncTime: {
            BusyScope busy(*this);
            ::ShowMessage(TimeSyncMessage(SyncMeterClock(link_)));
            break;
        }
        case kCmdTerminal:
            OpenTerminalCommand(this, link_, Combo(kIdPortSelector)->currentIndex());
            break;
        default:
            RunRecordingCommand(id);
            break;
    }
}

void CMainDlg::ShowAbout() {
    CAboutDlg about(this);
    about.exec();
}

// Screen worker: the frame waits in the slot; only the first frame since the last take sends
// a notification, and the notification carries no data.
void CMainDlg::HandOverFrame(const uint8_t* pixels) {
    bool notify = false;
    {
        std::lock_guard lock(frameMutex_);
        std::copy(pixels, pixels + pendingFrame_.size(), pendingFrame_.begin());
        notify = !framePending_;
        framePending_ = true;
    }
    if (notify) QMetaObject::invokeMethod(this, "TakeMirroredFrame", Qt::QueuedConnection);
}

void CMainDlg::TakeMirroredFrame() {
    std::array<uint8_t, 1024> pixels;
    {
        std::lock_guard lock(frameMutex_);
        if (!framePending_) return;
        pixels = pendingFrame_;
        framePending_ = false;
    }
    if (link_.LinkLost) return;  // a frame read just before the hang-up is not live any more
    ShowMirroredFrame(pixels.data());
}

// Only a frame that differs from the one on show is drawn again.
void CMainDlg::ShowMirroredFrame(const uint8_t* pixels) {
    ++mirroredFrames_;
    if (banner_->ShowsScreen() && shownFrameValid_ &&
        std::equal(shownFrame_.begin(), shownFrame_.end(), pixels))
        return;
    std::copy(pixels, pixels + shownFrame_.size(), shownFrame_.begin());
    shownFrameValid_ = true;
    RgbImage rgb = ScreenToRgbImage(pixels, kScreenMirrorScale);
    QImage image(rgb.rgb.data(), rgb.width, rgb.height, rgb.width * 3, QImage::Format_RGB888);
    banner_->ShowScreenImage(image.copy());
}

void CMainDlg::ShowLinkLost() {
    banner_->ShowNotice(QString::fromLatin1(kMeterDisconnected));
}

void CMainDlg::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
        // Enter on a push button presses it; anywhere else it stands for the missing OK button.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            button->click();
            return;
        }
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CMainDlg::accept() {
    AskBeforeClosing(CloseWay::Ok);
}

void CMainDlg::reject() {
    AskBeforeClosing(CloseWay::Cancel);
}

// The question has no loop of its own: the recording goes on while it is asked, and a fetch
// that ends meanwhile is taken at once rather than held up under the box.
void CMainDlg::AskBeforeClosing(CloseWay way) {
    const std::string question = RunningJobQuestion();
    if (question.empty()) return CloseOrStop(way);
    if (closeQuestion_) return;  // already on show
    closeQuestion_ = new QMessageBox(QMessageBox::Question, QString::fromLatin1(kProgramTitle),
                                     QString::fromLatin1(question.c_str()),
                                     QMessageBox::Yes | QMessageBox::No, this);
    closeQuestion_->setDefaultButton(QMessageBox::No);
    closeQuestion_->setAttribute(Qt::WA_DeleteOnClose);
    QMessageBox* box = closeQuestion_;
    connect(box, &QMessageBox::finished, this, [this, box, way] {
        if (box->standardButton(box->clickedButton()) != QMessageBox::Yes) return;
        // A download's dialog cancels it and closes once its worker has let go.
        for (CHistoryDlg* history : findChildren<CHistoryDlg*>())
            history->reject();
        CloseOrStop(way);
    });
    box->open();
}

std::string CMainDlg::RunningJobQuestion() const {
    for (const CHistoryDlg* history : findChildren<CHistoryDlg*>())
        if (history->WorkerActive()) return kDownloadQuestion;
    for (const RecordingController* recorder : {recorder_.get(), spectrumRecorder_.get()})
        if (recorder && recorder->Recording()) return kRecordingQuestion;
    return {};
}

// Closes now, or once the scan, exchange or command under way has let go; a scan or fetch
// holding this thread stops at its next look at the flag.
void CMainDlg::CloseOrStop(CloseWay way) {
    if (closeRequested_ == CloseWay::None) closeRequested_ = way;
    if (busy_) stopRequested_ = true;
    if (!busy_ && commandDepth_ == 0) CloseNow();
}

void CMainDlg::CloseWhenFree() {
    if (closeRequested_ == CloseWay::None || busy_ || commandDepth_ > 0) return;
    QTimer::singleShot(0, this, [this] {
        if (!busy_ && commandDepth_ == 0) CloseNow();
    });
}

// The recordings end with their files whole; OK also suspends the link.
void CMainDlg::CloseNow() {
    if (std::exchange(closed_, true)) return;
    for (RecordingController* recorder : {recorder_.get(), spectrumRecorder_.get()})
        if (recorder) recorder->Stop();
    if (closeRequested_ == CloseWay::Ok) link_.LinkSuspended = true;
    link_.StopScreenPoll = true;  // a run under way lets go at once; none starts after it
    screenPoll_->Join();
    link_.port.Close();
    if (closeRequested_ == CloseWay::Ok)
        QDialog::accept();
    else
        QDialog::reject();
}

// The boxes and dialogs over the window close first, as their own close boxes would; one
// that must let go of its work first (a running download) closes when it has.
void CMainDlg::RequestClose() {
    stopRequested_ = true;
    for (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this;) {
        modal->close();
        QWidget* next = QApplication::activeModalWidget();
        if (next == modal) break;
        modal = next;
    }
    CloseOrStop(CloseWay::Cancel);
}

// The plot redraws itself from the measurement on a click or a drag, and a fetch under way may
// be writing it: the plot's mouse input takes effect after the fetch, in order with the rest.
bool CMainDlg::eventFilter(QObject* watched, QEvent* event) {
    if (!busy_ || watched != graph_ || !IsMouseInput(event->type())) return false;
    std::shared_ptr<QEvent> copy(event->clone());
    AfterBusy([this, copy] { QCoreApplication::sendEvent(graph_, copy.get()); });
    return true;
}

void CMainDlg::AfterBusy(std::function<void()> call) {
    afterBusy_.push_back(std::move(call));
}

void CMainDlg::WhenFree(std::function<void()> call) {
    if (busy_)
        AfterBusy(std::move(call));
    else
        call();
}

// A waiting command that pumps events itself (a fetch, a dialog) runs the rest after it ends.
void CMainDlg::RunAfterBusy() {
    if (runningAfterBusy_) return;
    runningAfterBusy_ = true;
    while (!busy_ && closeRequested_ == CloseWay::None && !afterBusy_.empty()) {
        const std::function<void()> call = std::move(afterBusy_.front());
        afterBusy_.pop_front();
        call();
    }
    runningAfterBusy_ = false;
}

// A job the user asked for holds the port: the controls and menu items that would need it
// are disabled meanwhile, and the pointer shows the window busy.
void CMainDlg::ShowBusy(bool on) {
    if (!on) {
        for (const QPointer<QObject>& item : busyDisabled_) {
            if (auto* widget = qobject_cast<QWidget*>(item.data())) widget->setEnabled(true);
            if (auto* action = qobject_cast<QAction*>(item.data())) action->setEnabled(true);
        }
        const bool focusMoved = std::find(busyDisabled_.begin(), busyDisabled_.end(),
                                          busyFocus_.data()) != busyDisabled_.end();
        if (focusMoved && busyFocus_) busyFocus_->setFocus();
        busyDisabled_.clear();
        unsetCursor();
        return;
    }
    busyFocus_ = focusWidget();
    for (int id : kPortControls)
        if (QWidget* control = Control(id); control && control->isEnabled()) {
            control->setEnabled(false);
            busyDisabled_.emplace_back(control);
        }
    for (QAction* action : menuBar_->findChildren<QAction*>())
        if (action->isEnabled() && WaitsForFreeWindow(action->data().toInt())) {
            action->setEnabled(false);
            busyDisabled_.emplace_back(action);
        }
    setCursor(Qt::BusyCursor);
}

// Lets painting, timers and input through while busy.
void CMainDlg::PumpWhileBusy() {
    QApplication::processEvents(QEventLoop::AllEvents, kBusyPumpMs);
}

void CMainDlg::CallOnWindowThread(const std::function<void()>& call) {
    std::unique_lock lock(workerCallMutex_);
    workerCall_ = &call;
    lock.unlock();
    QMetaObject::invokeMethod(this, "RunWorkerCall", Qt::QueuedConnection);
    lock.lock();
    workerCallDone_.wait(lock, [this] { return workerCall_ == nullptr; });
}

void CMainDlg::RunWorkerCall() {
    std::unique_lock lock(workerCallMutex_);
    const std::function<void()>* call = workerCall_;
    lock.unlock();
    if (!call) return;
    (*call)();
    lock.lock();
    workerCall_ = nullptr;
    workerCallDone_.notify_all();
}

void CMainDlg::RunWhilePumping(const std::function<void()>& work) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    while (!done) {
        PumpWhileBusy();
        if (!done) SleepMs(1);
    }
    worker.join();
}

// DiscoveryView: the scan and the identification show themselves through the window.

void CMainDlg::SelectPortIndex(int index) {
    NoteOpenFailure();
    scanIndex_ = index;
    Combo(kIdPortSelector)->setCurrentIndex(index);
}

// The scan moves on from a port it could not open without a word; the reason is kept for the
// "Device not found." box (a second copy holding the port, a missing permission).
void CMainDlg::NoteOpenFailure() {
    if (!scanning_ || scanIndex_ < 0 || link_.port.IsOpen()) return;
    const int com = scanIndex_ + 1;
    if (link_.port.Ports().PathOf(com).empty()) return;
    const std::string reason = link_.port.LastOpenError();
    if (!reason.empty()) {
        scanReasons_.push_back("COM" + std::to_string(com) + " " + reason);
        AddOpenFailureHint(link_.port.Ports().PathOf(com), link_.port.LastOpenFailure(),
                           &scanHints_);
    }
    scanIndex_ = -1;
}

// A port picked in the selector that would not open: the system's reason and what to do.
void CMainDlg::AddPickedPortFailure(std::string* shown) const {
    const std::string path = link_.port.Ports().PathOf(link_.PortNumber);
    // Opened but no meter answered, or no device behind the number: the message says it all.
    if (link_.port.IsOpen() || link_.port.LastOpenFailure() == PortFailure::None || path.empty())
        return;
    *shown += "\n\nCOM" + std::to_string(link_.PortNumber) + " " + link_.port.LastOpenError();
    std::vector<std::string> hints;
    AddOpenFailureHint(path, link_.port.LastOpenFailure(), &hints);
    for (const std::string& hint : hints)
        *shown += "\n" + hint;
}

void CMainDlg::SetAutoCaption(const std::string& text) {
    Button(kIdAutoOpen)->setText(QString::fromStdString(text));
}

void CMainDlg::HideScanningPanel() {
    scanningPanel_->hide();
}

// The mirror runs behind the box, as behind any modal box whose loop still delivers ticks.
void CMainDlg::ShowMessage(const std::string& text) {
    if (closeRequested_ != CloseWay::None) return;
    std::string shown = text;
    if (scanning_ && text == kDeviceNotFound) {
        NoteOpenFailure();
        if (!scanReasons_.empty()) shown += "\n";
        for (const std::string& reason : scanReasons_)
            shown += "\n" + reason;
        for (const std::string& hint : scanHints_)
            shown += "\n" + hint;
    } else if (!scanning_ && text == kComportOpenError) {
        AddPickedPortFailure(&shown);
    }
    const bool wasBusy = std::exchange(busy_, false);
    ::ShowMessage(shown);
    busy_ = wasBusy;
}

void CMainDlg::Sleep(int milliseconds) {
    // The window keeps painting (the selector visibly walks the list) and taking input.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds && !stopRequested_) {
        PumpWhileBusy();
        SleepMs(1);
    }
}

// File › Open History / Open Recording and the recorder of Tools › Record Field Readings.
void CMainDlg::RunRecordingCommand(int id) {
    if (id == kCmdOpenHistory || id == kCmdOpenRecording) {
        OpenLongTermFile(this);
        return;
    }
    if (id == kCmdStopFieldRecording || id == kCmdStopSpectrumRecording) {
        // Field and spectrum recordings may run side by side; each item ends its own.
        RecordingController* recorder =
            id == kCmdStopFieldRecording ? recorder_.get() : spectrumRecorder_.get();
        if (recorder) recorder->Stop();
        return;
    }
    if (id != kCmdRecordField && id != kCmdRecordSpectra) return;
    const bool spectrum = id == kCmdRecordSpectra;
    std::unique_ptr<RecordingController>& recorder = spectrum ? spectrumRecorder_ : recorder_;
    if (!recorder) {
        using Kind = RecordingController::Kind;
        recorder = std::make_unique<RecordingController>(
            spectrum ? Kind::Spectrum : Kind::Field, link_, this, AddRecordingStatus(menuBar_),
            [this, spectrum](Measurement& reading, const std::function<void(FetchOutcome)>& done) {
                FetchForRecorder(spectrum, reading, done);
            });
    }
    recorder->Start();
}

// A recorder's fetch as GET EMF DATA makes it, into the recorder's own reading: on a worker
// while this thread pumps events, so the close box keeps working. While another exchange
// holds this thread the recorder's fetch waits its turn, and runs as soon as the window is
// free, instead of running over it. The graph goes on showing the window's own reading.
void CMainDlg::FetchForRecorder(bool spectrum, Measurement& reading,
                                const std::function<void(FetchOutcome)>& done) {
    auto again = [this, spectrum, &reading, done] { FetchForRecorder(spectrum, reading, done); };
    if (busy_) return AfterBusy(again);
    // A command's dialog running its own loop holds the port: the fetch comes once it ends.
    if (link_.HeldForAction()) return portWaiters_.push_back(again);
    const int threshold = shown_.threshold;
    FetchOutcome outcome;
    {
        BusyScope busy(*this, false);
        // The recording is the fetch's file: the auto-save box would add one file per fetch.
        constexpr bool kAutoSave = false;
        RunWhilePumping([&] {
            outcome = spectrum ? FetchSpectrumSweeps(link_, link_.PortNumber, threshold, reading,
                                                     {}, nullptr, &stopRequested_, kAutoSave)
                               : FetchFieldBlock(link_, link_.PortNumber, reading, &stopRequested_,
                                                 kAutoSave);
        });
    }
    done(outcome);
}
