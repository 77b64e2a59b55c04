#include "app/main_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>

#include "app/about_dialog.h"
#include "app/scanning_panel.h"
#include "graph/banner_wnd.h"
#include "graph/display_options.h"
#include "graph/graph_window.h"
#include "graph/plot_geometry.h"
#include "history/history_dialog.h"
#include "link/clock_sync.h"
#include "link/command_frame.h"
#include "link/link_flags.h"
#include "link/link_timing.h"
#include "link/message_seam.h"
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
constexpr int kClosingGraceMs = 500;   // lets a running screen run end before the port closes

// The check boxes that only choose what the graph shows, and the flag each one sets.
struct DisplayBox {
    int id;
    uint8_t* flag;
};
const DisplayBox kDisplayBoxes[] = {
    {kIdLine, &ShowLine}, {kIdBar, &ShowBar}, {kIdPower, &ShowPower}, {kIdShowX, &ShowX},
    {kIdShowY, &ShowY},   {kIdShowZ, &ShowZ}, {kIdShowEmf, &ShowEmf},
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

}  // namespace

CMainDlg::CMainDlg(QWidget* parent) : QDialog(parent) {
    BuildWindow();
    BuildMenu();
    LayOutWindow();
    ApplyColours();
    ConnectHandlers();
    screenPoll_ = std::make_unique<ScreenPollThread>(MeterPort, [this](const uint8_t* pixels) {
        // Worker thread: build the picture here, paint it on the user-interface thread.
        RgbImage rgb = ScreenToRgbImage(pixels, kScreenMirrorScale);
        QImage image(rgb.rgb.data(), rgb.width, rgb.height, rgb.width * 3, QImage::Format_RGB888);
        QMetaObject::invokeMethod(
            this, [this, frame = image.copy()] { ShowMirroredFrame(frame); }, Qt::QueuedConnection);
    });
    InitialiseDialog();
}

CMainDlg::~CMainDlg() {
    // Stop the screen worker before the window and the port it uses go.
    StopScreenPoll = true;
    StopAllTimers();
    screenPoll_->Join();
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
                                  if (row.id == kIdGraph) return graph_ = new CGraphWnd(parent);
                                  if (row.id == kIdBanner) return banner_ = new CBannerWnd(parent);
                                  return nullptr;
                              });
    scanningPanel_ = new CScanningDlg(client_);
    for (int n = 1; n <= PortTable::kPortCount; ++n) {
        Combo(kIdPortSelector)->addItem(QStringLiteral("COM%1").arg(n));
        std::string path = PortTable::Instance().PathOf(n);
        if (!path.empty())
            Combo(kIdPortSelector)
                ->setItemData(n - 1, QString::fromStdString(path), Qt::ToolTipRole);
    }
    for (int i = 0; i < kThresholdListItems; ++i)
        Combo(kIdThresholdDbm)->addItem(QString::fromStdString(DbmListText(i)));
}

// The menu bar above, the template's client area below it.
void CMainDlg::LayOutWindow() {
    const QSize clientSize = DialogSizeToPixels(kMainDialogTemplate);
    const int menuHeight = menuBar_->sizeHint().height();
    menuBar_->setGeometry(0, 0, clientSize.width(), menuHeight);
    client_->setGeometry(0, menuHeight, clientSize.width(), clientSize.height());
    setFixedSize(clientSize.width(), clientSize.height() + menuHeight);
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
        QAction* action = target->addAction(QString::fromLatin1(item.caption));
        action->setData(item.id);
        connect(action, &QAction::triggered, this, [this, id = item.id] { OnCommand(id); });
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
            [this] { MirrorPaused = Checked(kIdPause); });
    connect(static_cast<QCheckBox*>(Control(kIdAutoSave)), &QCheckBox::clicked, this,
            [this] { AutoSaveEnabled = Checked(kIdAutoSave); });
    for (int id : {kIdAutoField, kIdAutoSpectrum})
        connect(static_cast<QCheckBox*>(Control(id)), &QCheckBox::clicked, this,
                [this, id] { OnAutoFetchBox(id); });
    connect(Combo(kIdThresholdDbm), &QComboBox::activated, this, &CMainDlg::OnThresholdDbm);
    connect(Combo(kIdThresholdPower), &QComboBox::activated, this, &CMainDlg::OnThresholdPower);
    connect(Combo(kIdPortSelector), &QComboBox::activated, this, &CMainDlg::OnIdentify);
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
    for (const DisplayBox& box : kDisplayBoxes)
        static_cast<QCheckBox*>(Control(box.id))->setChecked(*box.flag);
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

void CMainDlg::OnDisplayOption(int id) {
    for (const DisplayBox& box : kDisplayBoxes)
        if (box.id == id) *box.flag = Checked(id);
    graph_->Refresh();
}

void CMainDlg::OnThresholdDbm(int index) {
    // The item's leading integer, as "-98 (dBm)" reads.
    SearchThreshold = std::atoi(Combo(kIdThresholdDbm)->itemText(index).toLatin1().constData());
    Combo(kIdThresholdPower)->setCurrentIndex(index);
    graph_->Refresh();
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
    // Written at once, also while a screen run waits; the port serialises whole frames.
    Bytes frame = BuildFrame(command);
    MeterPort.Send(frame.data(), static_cast<int>(frame.size()));
}

void CMainDlg::OnIdentify(int index) {
    busy_ = true;
    IdentifyMeter(index, MeterPort, *this);
    busy_ = false;
}

void CMainDlg::StartAutoScan() {
    scanningPanel_->show();
    scanningPanel_->raise();
    SetTimer(kTimerScan, 10);
}

void CMainDlg::RunScan() {
    busy_ = true;
    ScanForMeter(MeterPort, *this);
    busy_ = false;
}

void CMainDlg::OnCommand(int id) {
    switch (id) {
        case kCmdAbout:
        case kCmdSystemAbout:
            ShowAbout();
            break;
        case kIdGetSpectrum:
            if (SpectrumSupported(DeviceModel))
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
            break;  // commands of the later subsystems
    }
}

void CMainDlg::ShowAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CMainDlg::ShowMirroredFrame(const QImage& image) {
    banner_->ShowScreenImage(image);
    ++mirroredFrames_;
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
    LinkSuspended = true;
    SleepMs(kClosingGraceMs);
    MeterPort.Close();
    QDialog::accept();
}

void CMainDlg::reject() {
    MeterPort.Close();
    QDialog::reject();
}

// DiscoveryView: the scan and the identification show themselves through the window.

void CMainDlg::SelectPortIndex(int index) {
    Combo(kIdPortSelector)->setCurrentIndex(index);
}

void CMainDlg::SetAutoCaption(const std::string& text) {
    Button(kIdAutoOpen)->setText(QString::fromStdString(text));
}

void CMainDlg::HideScanningPanel() {
    scanningPanel_->hide();
}

void CMainDlg::ShowMessage(const std::string& text) {
    ::ShowMessage(text);
}

void CMainDlg::Sleep(int milliseconds) {
    // The window keeps painting (the selector visibly walks the list); user input waits.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 5);
        SleepMs(1);
    }
}
