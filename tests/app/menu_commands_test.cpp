// Every item of the main window's menu, reached as a person reaches it: a click on the menu
// bar, then on the item (and through the submenu), against the virtual meter. The dialogs the
// items open are driven through their own widgets; the file dialogs answer through the seam.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/about_dialog.h"
#include "graph/long_term_view.h"
#include "history/history_dialog.h"
#include "link/command_frame.h"
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
        link.port.Ports().Map(1, meter_->DevicePath());
        RunStartupScan();
        ASSERT_TRUE(link.DeviceConnected);
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
    EXPECT_TRUE(link.PortFree());
    EXPECT_FALSE(link.StopScreenPoll);
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
    EXPECT_FALSE(link.LinkSuspended);
    EXPECT_TRUE(link.PortFree());
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
    EXPECT_FALSE(link.LinkSuspended);
    EXPECT_TRUE(link.PortFree());
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
    EXPECT_TRUE(link.PortFree());
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

// File › Load opens the program's own long-term files in their viewer and takes only a whole
// measurement; any other text is refused and the measurement on show stays.
TEST_F(MenuCommandsTest, LoadTellsMeasurementsFromRecordingsHistoriesAndNotes) {
    const std::string recording =
        "time,x_mg,y_mg,z_mg,emf_mg,ef_vm\n2026-12-08T12:00:00+01:00,1.5,2,3,4,5\n";
    const std::string history =
        "ZTX-440 Data Logged History\r\n,EMF,EF,RF Power Density\r\n"
        "Date and Time,mG,V/m,mW/m2,mW/cm2,pW/cm2, Possible Source\r\n"
        "2026/12/08 12:00:00,1.2,18.5,0.009,0.000,900.000,\r\n";
    auto numbers = [](std::string text, int count) {  // the kind, then count - 1 fives
        for (int i = 1; i < count; ++i)
            text += "5,";
        return text + "\r\n";
    };
    const char* refused = "The file is not a measurement file.";
    const struct {
        const char* name;
        std::string text;
        int views;            // viewer windows open afterwards
        bool loaded;          // the measurement on show was replaced
        const char* message;  // or none
    } cases[] = {
        {"recording.csv", recording, 1, false, nullptr},
        {"history.csv", history, 2, false, nullptr},
        {"notes.csv", "milk, eggs,\n", 2, false, refused},
        {"field.csv", numbers("0,", 1202), 2, true, nullptr},
        {"spectrum.csv", numbers("1,", 270), 2, true, nullptr},
        {"short.csv", numbers("0,", 1201), 2, false, refused},
        {"long.csv", numbers("1,", 271), 2, false, refused},
        {"mixed.csv", numbers("1,", 1202), 2, false, refused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(File(c.name), std::ios::binary) << c.text;
        Window().Shown().measurement.bytes.fill(0x55);
        messages.clear();
        AnswerFileDialogsWith(c.name);
        ClickMenu(Window().MenuBar(), {"&File", "&Load"});
        EXPECT_EQ(Window().findChildren<LongTermView*>().size(), c.views);
        EXPECT_EQ(Window().Shown().measurement.bytes[0], c.loaded ? 5 : 0x55);
        EXPECT_EQ(messages,
                  c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
    }
}

TEST_F(MenuCommandsTest, SaveAsksBeforeReplacingTheFileItWouldWrite) {
    std::ofstream(File("meas1.csv")) << "older";
    AnswerFileDialogsWith("meas1");  // ".csv" is added
    for (auto [answer, kept] : {std::pair{QMessageBox::No, true}, {QMessageBox::Yes, false}}) {
        QString asked;
        WhenOpened<QMessageBox>([&, answer = answer](QMessageBox& box) {
            asked = box.text();
            QTest::mouseClick(box.button(answer), Qt::LeftButton);
        });
        ClickMenu(Window().MenuBar(), {"&File", "&Save"});
        EXPECT_EQ(asked, "meas1.csv already exists.\nDo you want to replace it?");
        EXPECT_EQ(std::filesystem::file_size(File("meas1.csv")) == 5, kept);
    }
    EXPECT_EQ(messages, std::vector<std::string>{"File Saved"});
}

TEST_F(MenuCommandsTest, EscapeDuringASweepLoopStopsItAndClosesTheWindow) {
    ConnectMeter();
    Window().Shown().threshold = 0;  // no sweep reaches it: eleven sweeps unless stopped
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
    Window().Shown().threshold = -128;  // the first sweep is accepted
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
