// Every item of the main window's menu, reached as a person reaches it: a click on the menu
// bar, then on the item (and through the submenu), against the virtual meter. The dialogs the
// items open are driven through their own widgets; the file dialogs answer through the seam.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <functional>

#include "app/about_dialog.h"
#include "history/history_dialog.h"
#include "link/command_frame.h"
#include "link/link_flags.h"
#include "link/link_timing.h"
#include "link/port_table.h"
#include "measure/measurement.h"
#include "res/history_dialog_template.h"
#include "res/main_dialog_template.h"
#include "res/terminal_dialog_template.h"
#include "screen/screen_bitmap.h"
#include "terminal/terminal_dialog.h"
#include "tests/app/main_window_fixture.h"
#include "tests/app/menu_clicks.h"
#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"
#include "ui/file_dialog.h"

namespace {

constexpr int kWaitMs = kMenuWaitMs;

// Runs `act` on the first modal dialog of type Dialog that opens, from the loop it runs.
template <typename Dialog>
void WhenOpened(std::function<void(Dialog&)> act) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        poll->stop();
        poll->deleteLater();
        act(*dialog);
    });
    poll->start(10);
}

std::string Hex(const Bytes& frame) {
    std::string hex;
    char pair[4];
    for (uint8_t byte : frame) {
        std::snprintf(pair, sizeof pair, "%s%02X", hex.empty() ? "" : " ", byte);
        hex += pair;
    }
    return hex;
}

class MenuCommandsTest : public MainWindowTest {
  protected:
    void TearDown() override {
        CFileLocalDlg::SetScript(nullptr);
        MainWindowTest::TearDown();
    }

    // A ZTX440 on COM1, found by the start-up scan.
    void ConnectMeter(std::vector<std::string> args = {}) {
        args.insert(args.end(), {"--fast", "--model", "ZTX440", "--log", Log()});
        meter_ = std::make_unique<MeterProcess>(args);
        ASSERT_FALSE(meter_->DevicePath().empty());
        PortTable::Instance().Map(1, meter_->DevicePath());
        RunStartupScan();
        ASSERT_TRUE(DeviceConnected);
        messages.clear();
    }

    void AnswerFileDialogsWith(const std::string& name) {
        CFileLocalDlg::SetScript(
            [this, name](const CFileLocalDlg&) { return std::optional(dir_.File(name)); });
    }

    std::string Log() const { return dir_.File("meter.log"); }
    std::string File(const std::string& name) const { return dir_.File(name); }
    bool LogHas(const std::string& prefix) const {
        for (const std::string& line : ReadLogLines(Log()))
            if (line.rfind(prefix, 0) == 0) return true;
        return false;
    }
    int LogCount(const std::string& prefix) const {
        int count = 0;
        for (const std::string& line : ReadLogLines(Log()))
            count += line.rfind(prefix, 0) == 0;
        return count;
    }

  private:
    TempDir dir_;
    std::unique_ptr<MeterProcess> meter_;
};

TEST_F(MenuCommandsTest, SaveScreenWritesTheMirroredFrame) {
    ConnectMeter();
    ASSERT_TRUE(MirrorUntil(1, kWaitMs));  // the mirror keeps running behind the command
    AnswerFileDialogsWith("screen");
    ClickMenu(Window().MenuBar(), {"&File", "Save Screen"});
    EXPECT_EQ(messages, std::vector<std::string>{kScreenshotSavedMessage});
    EXPECT_GT(std::filesystem::file_size(File("screen.bmp")), 1024u);
    EXPECT_TRUE(PortFree);
    EXPECT_FALSE(StopScreenPoll);
}

TEST_F(MenuCommandsTest, EachDownloadScreenshotItemFetchesItsSlot) {
    ConnectMeter({"--empty-slots", "none"});
    for (char slot : {'1', '2', '3', '4'}) {
        SCOPED_TRACE(slot);
        messages.clear();
        AnswerFileDialogsWith(std::string("shot") + slot);
        ClickMenu(Window().MenuBar(), {"&File", "Download Screenshot", QString(QChar(slot))});
        EXPECT_TRUE(LogHas(Hex(ScreenshotInfoRequest(slot))));
        EXPECT_EQ(messages, std::vector<std::string>{kScreenshotSavedMessage});
        EXPECT_GT(std::filesystem::file_size(File(std::string("shot") + slot + ".bmp")), 1024u);
    }
}

TEST_F(MenuCommandsTest, SyncTimeSendsTheClockFrame) {
    ConnectMeter();
    ClickMenu(Window().MenuBar(), {"Tools", "Sync Time"});
    const std::string start = "<SETDATETIME";
    EXPECT_TRUE(LogHas(Hex(Bytes(start.begin(), start.end()))));
    EXPECT_EQ(messages, std::vector<std::string>{"Time Synced Successfully!"});
    EXPECT_FALSE(LinkSuspended);
    EXPECT_TRUE(PortFree);
}

TEST_F(MenuCommandsTest, HxTerminalSendsWhatIsTypedInItsCommandBox) {
    ConnectMeter();
    bool sent = false;
    WhenOpened<CTerminalDlg>([&](CTerminalDlg& terminal) {
        auto* command = static_cast<QComboBox*>(terminal.Control(kIdCommand));
        QTest::keyClicks(command->lineEdit(), "GETVER");
        QTest::mouseClick(static_cast<QPushButton*>(terminal.Control(kIdSendCommand)),
                          Qt::LeftButton);
        sent =
            WaitFor([&] { return terminal.TextPaneContent().find("ZTX440") != std::string::npos; });
        QTest::mouseClick(static_cast<QPushButton*>(terminal.Control(kIdOk)), Qt::LeftButton);
    });
    ClickMenu(Window().MenuBar(), {"Tools", "HX Terminal"});
    EXPECT_TRUE(sent);
    EXPECT_EQ(LogCount(Hex(BuildFrame("GETVER"))), 2);  // the scan's and the terminal's
    EXPECT_FALSE(LinkSuspended);
    EXPECT_TRUE(PortFree);
}

TEST_F(MenuCommandsTest, DownloadHistoryWritesTheTableAndTheDump) {
    ConnectMeter({"--history-blocks", "2"});
    AnswerFileDialogsWith("history");
    bool finished = false;
    WhenOpened<CHistoryDlg>([&](CHistoryDlg& dialog) {
        auto button = [&](int id) { return dialog.findChild<QPushButton*>(QString::number(id)); };
        QTest::mouseClick(button(kIdHistoryDownload), Qt::LeftButton);
        finished = WaitFor([&] { return !Messages().empty() && !dialog.WorkerActive(); });
        QTest::mouseClick(button(kIdHistoryExit), Qt::LeftButton);
    });
    ClickMenu(Window().MenuBar(), {"&File", "&Download History"});
    EXPECT_TRUE(finished);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind("Download Finished.", 0), 0u) << messages[0];
    EXPECT_TRUE(LogHas("3C 53 50 49 52"));  // <SPIR
    EXPECT_GT(std::filesystem::file_size(File("history.csv")), 0u);
    EXPECT_GT(std::filesystem::file_size(File("history.bin")), 0u);
    EXPECT_TRUE(PortFree);
}

TEST_F(MenuCommandsTest, AboutOpensAndClosesWithItsOkButton) {
    bool opened = false;
    WhenOpened<CAboutDlg>([&](CAboutDlg& about) {
        opened = true;
        QTest::mouseClick(about.findChild<QPushButton*>(), Qt::LeftButton);
    });
    ClickMenu(Window().MenuBar(), {"Help", "About"});
    EXPECT_TRUE(opened);
}

TEST_F(MenuCommandsTest, EscapeDuringASweepLoopStopsItAndClosesTheWindow) {
    ConnectMeter();
    SearchThreshold = 0;  // no sweep reaches it: eleven sweeps unless stopped
    Window().show();
    // Escape arrives while the loop holds the window, as the first sweep is made.
    QTimer::singleShot(0, &Window(), [&] { QTest::keyClick(&Window(), Qt::Key_Escape); });
    QTest::mouseClick(Button(kIdGetSpectrum), Qt::LeftButton);
    EXPECT_LT(LogCount(Hex(BuildFrame("GETBANDDATAHEX"))), 11);
    ASSERT_TRUE(WaitFor([&] { return !Window().isVisible(); }));
    EXPECT_EQ(Window().result(), QDialog::Rejected);
}

TEST_F(MenuCommandsTest, ClicksThatArriveDuringAFetchStartNothing) {
    ConnectMeter();
    SearchThreshold = -128;  // the first sweep is accepted
    QPushButton* spectrum = Button(kIdGetSpectrum);
    const QPoint centre = spectrum->rect().center();
    // Three more clicks arrive while the first one's sweep holds the window, which shows the
    // button disabled meanwhile.
    QTimer::singleShot(0, spectrum, [&] {
        EXPECT_FALSE(spectrum->isEnabled());
        for (int i = 0; i < 3; ++i) {
            QApplication::postEvent(
                spectrum,
                new QMouseEvent(QEvent::MouseButtonPress, centre, spectrum->mapToGlobal(centre),
                                Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
            QApplication::postEvent(
                spectrum,
                new QMouseEvent(QEvent::MouseButtonRelease, centre, spectrum->mapToGlobal(centre),
                                Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
        }
        QTest::keyClick(spectrum, Qt::Key_Space);  // a key press on the same button
    });
    QTest::mouseClick(spectrum, Qt::LeftButton);
    QCoreApplication::processEvents();  // whatever is still queued is delivered now
    EXPECT_EQ(LogCount(Hex(BuildFrame("GETBANDDATAHEX"))), 1);
    EXPECT_TRUE(spectrum->isEnabled());
}

}  // namespace
