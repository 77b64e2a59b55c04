// The main window: its controls at start, the option handlers, closing, and finding the
// meter through the port selector and the scan.

#include <QAbstractItemView>
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>
#include <algorithm>

#include "app/scanning_panel.h"
#include "graph/banner_wnd.h"
#include "graph/display_options.h"
#include "graph/graph_window.h"
#include "link/command_frame.h"
#include "link/message_seam.h"
#include "link/meter_link.h"
#include "link/port_table.h"
#include "link/serial_port.h"
#include "measure/auto_save.h"
#include "measure/measurement.h"
#include "res/main_dialog_template.h"
#include "screen/screen_poll.h"
#include "tests/app/main_window_fixture.h"
#include "tests/app/menu_clicks.h"
#include "tests/support/meter_process.h"
#include "tests/support/pty_pair.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_clock.h"
#include "tests/support/wait_until.h"
#include "ui/message_box.h"
#include "ui/template_widgets.h"

namespace {

TEST_F(MainWindowTest, EveryControlStandsAtItsPlaceWithItsCaption) {
    for (const ControlTemplate& row : kMainDialogTemplate.controls) {
        if (row.id == kNoId) continue;
        QWidget* w = Window().Control(row.id);
        ASSERT_NE(w, nullptr) << row.id;
        EXPECT_EQ(w->pos(), DialogRectToPixels(row.x, row.y, row.width, row.height).topLeft())
            << row.id;
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_EQ(button->text(), ResourceText(row.caption)) << row.id;
        }
    }
    EXPECT_EQ(Window().Control(kIdGraph)->size(), QSize(547, 284));
    EXPECT_EQ(Window().windowTitle(), "Ferrolog");
    EXPECT_FALSE(Window().windowIcon().isNull());
}

TEST_F(MainWindowTest, OptionsStartAsTheProgramDefinesThem) {
    const std::pair<int, bool> boxes[] = {
        {kIdLine, true},      {kIdBar, true},        {kIdPower, false},        {kIdShowX, false},
        {kIdShowY, false},    {kIdShowZ, false},     {kIdShowEmf, true},       {kIdPause, false},
        {kIdAutoSave, false}, {kIdAutoField, false}, {kIdAutoSpectrum, false},
    };
    for (auto [id, checked] : boxes)
        EXPECT_EQ(Box(id)->isChecked(), checked) << id;
    EXPECT_EQ(Button(kIdAutoOpen)->text(), "&Auto Open");
    EXPECT_FALSE(Window().ScanningPanel()->isVisible());
    EXPECT_EQ(Window().ScanningPanel()->Text(), "Scanning Device...\n Please wait...");
}

TEST_F(MainWindowTest, ThresholdListsStartOnDifferentLevelsWithTheThresholdAtMinus98) {
    Window();
    EXPECT_EQ(Window().Shown().threshold, -98);
    ASSERT_EQ(Combo(kIdThresholdDbm)->count(), 129);
    ASSERT_EQ(Combo(kIdThresholdPower)->count(), 129);
    EXPECT_EQ(Combo(kIdThresholdDbm)->currentText(), "-98 (dBm)");
    EXPECT_EQ(Combo(kIdThresholdPower)->currentText(), "1.585 pW");
    EXPECT_EQ(Combo(kIdThresholdDbm)->itemText(0), "-128 (dBm)");
    EXPECT_EQ(Combo(kIdThresholdDbm)->itemText(128), "0 (dBm)");
    EXPECT_EQ(Combo(kIdThresholdPower)->itemText(0), "0.000 pW");
    EXPECT_EQ(Combo(kIdThresholdPower)->itemText(38), "1.000 pW");
    EXPECT_EQ(Combo(kIdThresholdPower)->itemText(128), "1.000 mW");
}

TEST_F(MainWindowTest, ListsShowTheirWidestItemsWhole) {
    for (int id : {kIdThresholdDbm, kIdThresholdPower, kIdPortSelector}) {
        QComboBox* combo = Combo(id);
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                           QStyle::SC_ComboBoxEditField, combo);
        for (int i = 0; i < combo->count(); ++i) {
            const int textWidth = combo->fontMetrics().horizontalAdvance(combo->itemText(i));
            EXPECT_LE(textWidth, field.width()) << combo->itemText(i).toStdString();
            EXPECT_LE(textWidth, combo->view()->width()) << combo->itemText(i).toStdString();
        }
    }
}

TEST_F(MainWindowTest, EitherThresholdListMovesTheOther) {
    Window();
    emit Combo(kIdThresholdDbm)->activated(0);
    EXPECT_EQ(Window().Shown().threshold, -128);
    EXPECT_EQ(Combo(kIdThresholdPower)->currentIndex(), 0);
    Combo(kIdThresholdPower)->setCurrentIndex(30);
    emit Combo(kIdThresholdPower)->activated(30);
    EXPECT_EQ(Combo(kIdThresholdDbm)->currentText(), "-98 (dBm)");
    EXPECT_EQ(Window().Shown().threshold, -98);
}

TEST_F(MainWindowTest, PortSelectorListsCom1ToCom32OnCom1) {
    Window();
    ASSERT_EQ(Combo(kIdPortSelector)->count(), 32);
    EXPECT_EQ(Combo(kIdPortSelector)->itemText(0), "COM1");
    EXPECT_EQ(Combo(kIdPortSelector)->itemText(31), "COM32");
    EXPECT_EQ(Combo(kIdPortSelector)->currentIndex(), 0);
}

TEST_F(MainWindowTest, StartUpTimersAreArmedWithTheirPeriods) {
    CMainDlg window(link);  // timers left running
    EXPECT_EQ(window.TimerPeriod(kTimerMirror), 500);
    EXPECT_EQ(window.TimerPeriod(kTimerStartScan), 200);
    EXPECT_EQ(window.TimerPeriod(kTimerBanner), 10);
    EXPECT_EQ(window.TimerPeriod(kTimerFetch), 1000);
    EXPECT_FALSE(window.TimerArmed(kTimerScan));
    window.StopAllTimers();
}

TEST_F(MainWindowTest, MenuCarriesEveryCommandWithItsSeparators) {
    QStringList seen;
    for (QAction* top : Window().MenuBar()->actions()) {
        seen << top->text();
        for (QAction* item : top->menu()->actions()) {
            if (item->isSeparator())
                seen << "-";
            else if (item->menu()) {
                seen << item->text();
                for (QAction* sub : item->menu()->actions())
                    seen << sub->text();
            } else
                seen << item->text();
        }
    }
    EXPECT_EQ(seen.join('|'),
              "&File|&Load|-|&Save|-|Save S&creen|-|&Download History|-|Do&wnload Screenshot|"
              "&1|&2|&3|&4|-|&Open History...|-|Open &Recording...|-|&Quit|"
              "&Tools|Sync &Time|-|&HX Terminal|-|&Record Field Readings...|-|"
              "Record &Spectra...|-|Stop &Field Recording|Stop S&pectrum Recording|&Help|&About");
}

// Each menu, and the menu bar beside the window's buttons, has one item per mnemonic letter.
void ExpectMnemonicsOfTheirOwn(const QList<QAction*>& items, QStringList taken) {
    for (QAction* item : items) {
        if (item->isSeparator()) continue;
        const QString letter = QKeySequence::mnemonic(item->text()).toString();
        EXPECT_FALSE(letter.isEmpty()) << item->text().toStdString();
        EXPECT_FALSE(taken.contains(letter)) << item->text().toStdString();
        taken << letter;
        if (item->menu()) ExpectMnemonicsOfTheirOwn(item->menu()->actions(), {});
    }
}

TEST_F(MainWindowTest, EveryMenuAndItemHasAMnemonicOfItsOwn) {
    QStringList buttons;
    for (QAbstractButton* button : Window().findChildren<QAbstractButton*>())
        buttons << QKeySequence::mnemonic(button->text()).toString();
    buttons.removeAll(QString());
    EXPECT_EQ(buttons.removeDuplicates(), 0) << buttons.join(' ').toStdString();
    ExpectMnemonicsOfTheirOwn(Window().MenuBar()->actions(), buttons);
}

TEST_F(MainWindowTest, AltFOpensFileAtOnceAndCtrlQCloses) {
    Window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Window()));
    QTest::keyClick(&Window(), Qt::Key_F, Qt::AltModifier);
    QMenu* file = Window().MenuBar()->actions()[0]->menu();
    ASSERT_TRUE(WaitFor([&] { return file->isVisible(); }));
    QTest::keyClick(file, Qt::Key_Escape);
    ASSERT_TRUE(WaitFor([&] { return !file->isVisible(); }));
    QTest::keyClick(&Window(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(WaitFor([&] { return !Window().isVisible(); }));
    EXPECT_EQ(Window().result(), QDialog::Rejected);
}

TEST_F(MainWindowTest, TheWindowFitsItsScreenAndAMessageBoxItsTitle) {
    EXPECT_TRUE(Window().screen()->availableGeometry().contains(Window().frameGeometry()));
    InstallMessageBoxes(&Window());
    WhenOpened<QMessageBox>([](QMessageBox& box) {
        EXPECT_GE(box.width(), box.fontMetrics().horizontalAdvance(box.windowTitle()) + 100);
        box.accept();
    });
    ShowMessage("OK");
}

TEST_F(MainWindowTest, DisplayAndOptionBoxesMirrorIntoTheirFlags) {
    QTest::mouseClick(Box(kIdLine), Qt::LeftButton);
    QTest::mouseClick(Box(kIdShowX), Qt::LeftButton);
    QTest::mouseClick(Box(kIdPause), Qt::LeftButton);
    QTest::mouseClick(Box(kIdAutoSave), Qt::LeftButton);
    EXPECT_EQ(Window().Graph()->Options().ShowLine, 0);
    EXPECT_EQ(Window().Graph()->Options().ShowX, 1);
    EXPECT_TRUE(link.MirrorPaused);
    EXPECT_TRUE(Window().AutoSaveOn());
}

TEST_F(MainWindowTest, AutomaticFetchBoxesExcludeEachOther) {
    QTest::mouseClick(Box(kIdAutoSpectrum), Qt::LeftButton);
    QTest::mouseClick(Box(kIdAutoField), Qt::LeftButton);
    EXPECT_TRUE(Box(kIdAutoField)->isChecked());
    EXPECT_FALSE(Box(kIdAutoSpectrum)->isChecked());
    QTest::mouseClick(Box(kIdAutoSpectrum), Qt::LeftButton);
    EXPECT_FALSE(Box(kIdAutoField)->isChecked());
    QTest::mouseClick(Box(kIdAutoSpectrum), Qt::LeftButton);
    EXPECT_FALSE(Box(kIdAutoField)->isChecked());
    EXPECT_FALSE(Box(kIdAutoSpectrum)->isChecked());
}

TEST_F(MainWindowTest, SpectrumButtonRefusesModelsWithoutASpectrum) {
    link.DeviceModel = kModelZtx8800;
    QTest::mouseClick(Button(kIdGetSpectrum), Qt::LeftButton);
    link.DeviceModel = kModelZtx420;
    QTest::mouseClick(Button(kIdGetSpectrum), Qt::LeftButton);
    EXPECT_EQ(messages, std::vector<std::string>(2, "Not Supported."));
}

TEST_F(MainWindowTest, EnterOnACheckBoxClosesTheOkWay) {
    PtyPair pty;
    link.port.Ports().Map(1, pty.SlavePath());
    ASSERT_EQ(link.port.Open(1), 1);
    Box(kIdShowZ)->setFocus();
    QTest::keyClick(Box(kIdShowZ), Qt::Key_Return);
    EXPECT_EQ(Window().result(), QDialog::Accepted);
    EXPECT_TRUE(link.LinkSuspended);
    EXPECT_EQ(link.port.IsOpen(), 0);
}

TEST_F(MainWindowTest, EscapeClosesTheCancelWay) {
    PtyPair pty;
    link.port.Ports().Map(1, pty.SlavePath());
    ASSERT_EQ(link.port.Open(1), 1);
    QTest::keyClick(Combo(kIdThresholdDbm), Qt::Key_Escape);
    EXPECT_EQ(Window().result(), QDialog::Rejected);
    EXPECT_FALSE(link.LinkSuspended);
    EXPECT_EQ(link.port.IsOpen(), 0);
}

TEST_F(MainWindowTest, ScanFindsTheMeterOnItsComNumber) {
    MeterProcess meter({"--fast", "--model", "ZTX430", "--revision", "3.20"});
    ASSERT_FALSE(meter.DevicePath().empty());
    link.port.Ports().Map(3, meter.DevicePath());
    RunStartupScan();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Device:\n\nZTX430Re 3.20");
    EXPECT_EQ(Combo(kIdPortSelector)->currentIndex(), 2);
    EXPECT_EQ(Button(kIdAutoOpen)->text(), "Auto");
    EXPECT_FALSE(Window().ScanningPanel()->isVisible());
    EXPECT_TRUE(link.DeviceConnected);
    EXPECT_EQ(link.DeviceModel, kModelZtx430);
    EXPECT_EQ(link.PortNumber, 3);
    EXPECT_EQ(link.port.IsOpen(), 1);
}

TEST_F(MainWindowTest, ScanOverEmptyPortsEndsWithDeviceNotFoundOnCom32) {
    VirtualClock clock;  // the scan's pause at each of the 32 numbers takes no real time
    MeterLink scanned(serial_backend::SystemBackend(), clock);
    scanned.DeviceModel = kModelTkl;
    CMainDlg window(scanned);
    window.StopAllTimers();
    RunStartupScanOf(window);
    EXPECT_EQ(messages, std::vector<std::string>{"Device not found."});
    EXPECT_EQ(static_cast<QComboBox*>(window.Control(kIdPortSelector))->currentText(), "COM32");
    EXPECT_EQ(static_cast<QPushButton*>(window.Control(kIdAutoOpen))->text(), "Auto");
    EXPECT_FALSE(scanned.DeviceConnected);
    EXPECT_EQ(scanned.DeviceModel, kModelTkl);  // a failed scan keeps the model it had
}

TEST_F(MainWindowTest, ScanAndPickedPortSayWhyAPortHeldByAnotherCopyCouldNotBeUsed) {
    MeterProcess meter({"--fast"});
    MeterLink secondCopy;
    secondCopy.port.Ports().Map(1, meter.DevicePath());
    ASSERT_EQ(secondCopy.port.Open(1), 1);
    VirtualClock clock;  // the scan's pause at each of the 32 numbers takes no real time
    MeterLink scanned(serial_backend::SystemBackend(), clock);
    scanned.port.Ports().Map(1, meter.DevicePath());
    CMainDlg window(scanned);
    window.StopAllTimers();
    RunStartupScanOf(window);
    emit static_cast<QComboBox*>(window.Control(kIdPortSelector))->activated(0);
    ASSERT_EQ(messages.size(), 2u);
    const std::string hint = "\nhint: another program holds " + meter.DevicePath();
    const std::string firstLines[] = {"Device not found.", "Comport open error"};
    for (size_t i = 0; i < messages.size(); ++i) {
        const std::string& shown = messages[i];
        EXPECT_EQ(shown.rfind(firstLines[i] + "\n\nCOM1 " + meter.DevicePath() + ": ", 0), 0u)
            << shown;
        EXPECT_NE(shown.find(hint), std::string::npos) << shown;
        EXPECT_EQ(shown.find(hint), shown.rfind(hint)) << "the hint is given once";
    }
    EXPECT_FALSE(scanned.DeviceConnected);
}

TEST_F(MainWindowTest, TheMirrorRunsBehindTheDeviceBox) {
    MeterProcess meter({"--fast"});
    link.port.Ports().Map(1, meter.DevicePath());
    bool mirroredBehindTheBox = false;
    SetMessageHandler([&](const std::string& text) {
        messages.push_back(text);
        mirroredBehindTheBox = MirrorUntil(1, 10000);  // as a modal box's loop lets ticks run
    });
    RunStartupScan();
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_TRUE(mirroredBehindTheBox);
}

TEST_F(MainWindowTest, TheSelectorAndTheAutoBoxesSayWhatTheyAre) {
    link.port.Ports().Map(3, "/dev/null");
    Combo(kIdPortSelector)->setCurrentIndex(2);
    EXPECT_EQ(Combo(kIdPortSelector)->toolTip(), "/dev/null");
    EXPECT_EQ(Combo(kIdPortSelector)->itemData(2, Qt::ToolTipRole).toString(), "/dev/null");
    for (int id : {kIdAutoField, kIdAutoSpectrum, kIdAutoSave})
        EXPECT_FALSE(Box(id)->toolTip().isEmpty()) << id;
}

TEST_F(MainWindowTest, AFailedIdentificationLeavesNoFrameAsIfLive) {
    MeterProcess meter({"--fast"});
    link.port.Ports().Map(1, meter.DevicePath());
    emit Combo(kIdPortSelector)->activated(0);
    ASSERT_TRUE(MirrorUntil(1, 10000));
    ASSERT_TRUE(Window().Banner()->ShowsScreen());
    emit Combo(kIdPortSelector)->activated(4);  // nothing behind COM5
    EXPECT_FALSE(Window().Banner()->ShowsScreen());
}

TEST_F(MainWindowTest, PickingAPortIdentifiesTheMeterThere) {
    MeterProcess meter({"--fast", "--model", "TKL", "--revision", "2.50"});
    link.port.Ports().Map(4, meter.DevicePath());
    Combo(kIdPortSelector)->setCurrentIndex(3);
    emit Combo(kIdPortSelector)->activated(3);
    EXPECT_EQ(messages, std::vector<std::string>{"Device:\n\nTKLRe 2.50"});
    EXPECT_EQ(link.DeviceModel, kModelTkl);
    EXPECT_EQ(link.port.IsOpen(), 1);
}

TEST_F(MainWindowTest, PickingAnUnansweringPortSaysComportOpenErrorAndLeavesItClosed) {
    PtyPair silent;
    link.port.Ports().Map(2, silent.SlavePath());
    link.DeviceModel = kModelZtx440;
    emit Combo(kIdPortSelector)->activated(1);  // a port that opens but never answers
    emit Combo(kIdPortSelector)->activated(4);  // a port with nothing behind it
    EXPECT_EQ(messages, std::vector<std::string>(2, "Comport open error"));
    EXPECT_EQ(link.port.IsOpen(), 0);
    EXPECT_EQ(link.DeviceModel, kModelNone);
    EXPECT_FALSE(link.DeviceConnected);
}

// Two windows, each with its own link and meter, mirror and fetch side by side: each meter
// hears only its own window, and each window shows only its own meter.
TEST_F(MainWindowTest, TwoWindowsMirrorAndFetchTwoMetersSideBySide) {
    TempDir dir;
    MeterProcess first({"--fast", "--model", "ZTX440", "--log", dir.File("first.log")});
    MeterProcess second({"--fast", "--model", "ZTX430", "--log", dir.File("second.log")});
    ASSERT_FALSE(first.DevicePath().empty());
    ASSERT_FALSE(second.DevicePath().empty());
    PickPort(first.DevicePath());
    MeterLink otherLink;
    otherLink.port.Ports().Map(1, second.DevicePath());
    CMainDlg other(otherLink);
    other.StopAllTimers();
    other.show();
    emit static_cast<QComboBox*>(other.Control(kIdPortSelector))->activated(0);
    ASSERT_EQ(link.DeviceModel, kModelZtx440);
    ASSERT_EQ(otherLink.DeviceModel, kModelZtx430);

    ASSERT_TRUE(
        WaitUntilWith([&] { return Window().MirroredFrames() >= 3 && other.MirroredFrames() >= 3; },
                      [&] {
                          Window().OnTimer(kTimerMirror);
                          other.OnTimer(kTimerMirror);
                          QTest::qWait(5);
                      },
                      10000));
    Window().FetchFieldReading();
    other.FetchFieldReading();
    EXPECT_EQ(Window().Shown().measurement.kind, kKindField);
    EXPECT_EQ(other.Shown().measurement.kind, kKindField);
    other.reject();
    Window().reject();

    for (const std::string& log : {dir.File("first.log"), dir.File("second.log")}) {
        const std::vector<std::string> frames = ReadLogLines(log);
        ASSERT_FALSE(frames.empty()) << log;
        EXPECT_EQ(frames.front(), HexString(BuildFrame("GETVER"))) << log;
        EXPECT_EQ(std::count(frames.begin(), frames.end(), HexString(BuildFrame("GETVER"))), 1)
            << log;
        EXPECT_EQ(std::count(frames.begin(), frames.end(), HexString(BuildFrame("GETEMFDATA"))), 1)
            << log;
        EXPECT_GE(std::count(frames.begin(), frames.end(), HexString(BuildFrame("GETSCREEN"))), 3)
            << log;
    }
}

}  // namespace
