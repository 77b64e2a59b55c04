// The history dialog and its menu entry, downloading from the virtual meter over a real
// pseudo-terminal; the file dialog is answered by a script, the messages recorded.

#include "history/history_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <regex>

#include "link/link_timing.h"
#include "link/message_seam.h"
#include "link/meter_identity.h"
#include "link/port_table.h"
#include "res/history_dialog_template.h"
#include "tests/support/meter_process.h"
#include "tests/support/small_filesystem.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_until.h"
#include "ui/file_dialog.h"
#include "ui/template_widgets.h"

namespace {

constexpr int kCom = 11;
constexpr int kWorkerTimeoutMs = 60000;

// Lets the user-interface thread run until `done` holds; false on timeout.
bool RunUntil(const std::function<bool()>& done, int timeoutMs = kWorkerTimeoutMs) {
    const auto runOnce = [] {
        QCoreApplication::processEvents();
        SleepMs(1);
    };
    if (!WaitUntilWith(done, runOnce, timeoutMs)) return false;
    QCoreApplication::processEvents();  // the worker's last queued changes
    return true;
}

class HistoryDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previousHandler_ = SetMessageHandler([this](const std::string& text) {
            std::lock_guard lock(mutex_);
            messages_.push_back(text);
            // A message from the window's own thread is a modal box, read before what follows.
            if (QThread::currentThread() != qApp->thread()) messageOffUiThread_ = true;
        });
        CFileLocalDlg::SetScript([this](const CFileLocalDlg& dialog) -> std::optional<std::string> {
            ++fileDialogs_;
            initialName_ = dialog.InitialName();
            openDialog_ = dialog.IsOpenDialog();
            firstFilter_ = dialog.Filters().empty() ? "" : dialog.Filters().front().label;
            if (whileFileDialogIsUp) whileFileDialogIsUp();
            return dir_.File("history");
        });
    }

    void TearDown() override {
        CFileLocalDlg::SetScript(nullptr);
        SetMessageHandler(previousHandler_);
    }

    void StartMeter(std::vector<std::string> args) {
        args.insert(args.end(), {"--log", dir_.File("meter.log")});
        meter_ = std::make_unique<MeterProcess>(args);
        ASSERT_FALSE(meter_->DevicePath().empty());
        link.port.Ports().Map(kCom, meter_->DevicePath());
        ASSERT_EQ(link.port.Open(kCom), 1);
    }

    std::vector<std::string> Messages() {
        std::lock_guard lock(mutex_);
        return messages_;
    }

    static QPushButton* Button(QDialog& dialog, int id) {
        return dialog.findChild<QPushButton*>(QString::number(id));
    }
    static QString Status(QDialog& dialog) {
        return dialog.findChild<QLabel*>(QString::number(kIdHistoryStatus))->text();
    }
    static QProgressBar* Progress(QDialog& dialog) {
        return dialog.findChild<QProgressBar*>(QString::number(kIdHistoryProgress));
    }

    // Shows the dialog, presses Download and lets it run until the blocks are coming in.
    static void StartDownload(CHistoryDlg& dialog) {
        dialog.show();
        Button(dialog, kIdHistoryDownload)->click();
        ASSERT_TRUE(RunUntil([&] { return Status(dialog).startsWith("Downloading 4KB"); }));
        EXPECT_EQ(Button(dialog, kIdHistoryDownload)->text(), "Stop/Save");
        EXPECT_EQ(Button(dialog, kIdHistoryExit)->text(), "Cancel");
    }

    static void ExpectIdleButtons(QDialog& dialog) {
        EXPECT_EQ(Button(dialog, kIdHistoryDownload)->text(), "Download");
        EXPECT_EQ(Button(dialog, kIdHistoryExit)->text(), "Exit");
    }

    bool CsvExists() const { return std::filesystem::exists(dir_.File("history.csv")); }
    size_t Requests() const { return ReadLogLines(dir_.File("meter.log")).size(); }

    std::function<void()> whileFileDialogIsUp;
    std::atomic<bool> messageOffUiThread_{false};
    std::atomic<int> fileDialogs_{0};
    std::string initialName_;
    bool openDialog_ = true;
    std::string firstFilter_;
    TempDir dir_;
    MeterLink link;

  private:
    std::unique_ptr<MeterProcess> meter_;
    MessageHandler previousHandler_;
    std::mutex mutex_;
    std::vector<std::string> messages_;
};

TEST_F(HistoryDialogTest, OpensIdleWithTheTemplatesControls) {
    CHistoryDlg dialog(nullptr, link.port);
    EXPECT_EQ(dialog.windowTitle(), "Download History");
    EXPECT_EQ(dialog.size(), QSize(450, 79));  // 300 × 49 dialog units
    struct Control {
        int id;
        QRect rect;  // dialog units × 6/4 and × 13/8
        const char* text;
    };
    const Control controls[] = {
        {kIdHistoryProgress, QRect(7, 4, 433, 22), nullptr},
        {kIdHistoryStatus, QRect(10, 39, 226, 27), ""},
        {kIdHistoryDownload, QRect(238, 40, 96, 22), "Download"},
        {kIdHistoryExit, QRect(337, 40, 96, 22), "Exit"},
    };
    for (const Control& c : controls) {
        SCOPED_TRACE(c.id);
        QWidget* widget = dialog.findChild<QWidget*>(QString::number(c.id));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), c.rect);
    }
    EXPECT_EQ(Status(dialog), "");
    ExpectIdleButtons(dialog);
    EXPECT_EQ(Progress(dialog)->minimum(), 1);
    EXPECT_EQ(Progress(dialog)->maximum(), 100);
    EXPECT_FALSE(dialog.Flags().HistoryDownloading || dialog.Flags().HistoryStopSave ||
                 dialog.Flags().HistoryCancel || dialog.Flags().HistoryCloseRequested);
}

TEST_F(HistoryDialogTest, DownloadRunsToFinishedWithTheButtonsBack) {
    StartMeter({"--fast", "--history-blocks", "3"});
    CHistoryDlg dialog(nullptr, link.port);
    dialog.show();
    Button(dialog, kIdHistoryDownload)->click();
    ASSERT_TRUE(RunUntil([&] { return fileDialogs_ == 1 && !dialog.WorkerActive(); }));

    EXPECT_FALSE(openDialog_);
    EXPECT_EQ(firstFilter_, "Both Files (BIN and CSV)");
    EXPECT_TRUE(std::regex_match(initialName_, std::regex(R"(emfhistory_\d{8}_\d{6})")));
    EXPECT_EQ(Status(dialog), "Download Finished. 12KB");
    ExpectIdleButtons(dialog);
    EXPECT_EQ(Progress(dialog)->value(), 100);
    EXPECT_EQ(Messages(), std::vector<std::string>{"Download Finished. 12KB"});
    EXPECT_TRUE(CsvExists());
    EXPECT_EQ(std::filesystem::file_size(dir_.File("history.bin")), 12288u);
    EXPECT_TRUE(dialog.isVisible());
}

// While the file dialog is up the worker has started but nothing downloads yet: a second
// press must not start a second worker.
TEST_F(HistoryDialogTest, SecondPressWhileTheFileDialogIsUpStartsNothing) {
    StartMeter({"--fast", "--history-blocks", "2"});
    CHistoryDlg dialog(nullptr, link.port);
    dialog.show();
    whileFileDialogIsUp = [&] { Button(dialog, kIdHistoryDownload)->click(); };
    Button(dialog, kIdHistoryDownload)->click();
    ASSERT_TRUE(RunUntil([&] { return fileDialogs_ >= 1 && !dialog.WorkerActive(); }));
    QCoreApplication::processEvents();  // a second press would have started its worker here

    EXPECT_EQ(fileDialogs_, 1);
    EXPECT_EQ(Requests(), 3u);  // two blocks and the erased one, once
    EXPECT_EQ(Messages(), std::vector<std::string>{"Download Finished. 8KB"});
}

TEST_F(HistoryDialogTest, AFileThatCannotBeWrittenIsSaidAndAnotherIsAskedForWithoutADownload) {
    StartMeter({"--fast", "--history-blocks", "2"});
    const std::string missingFolder = dir_.File("no-such-folder") + "/history";
    int asked = 0;
    CFileLocalDlg::SetScript([&](const CFileLocalDlg&) -> std::optional<std::string> {
        return ++asked == 1 ? missingFolder : dir_.File("again");
    });
    CHistoryDlg dialog(nullptr, link.port);
    dialog.show();
    Button(dialog, kIdHistoryDownload)->click();
    ASSERT_TRUE(RunUntil([&] { return asked == 2 && !dialog.WorkerActive(); }));

    const std::vector<std::string> messages = Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "The history could not be written to " + dir_.File("no-such-folder") +
                               "/history.bin: No such file or directory");
    EXPECT_EQ(messages[1], "Download Finished. 8KB");
    EXPECT_EQ(Requests(), 3u);  // one download: two blocks and the erased one
    EXPECT_EQ(std::filesystem::file_size(dir_.File("again.bin")), 8192u);
    EXPECT_GT(std::filesystem::file_size(dir_.File("again.csv")), 0u);
}

// The dump fits on the small disk, its table does not: the reason is read first, then the
// retry is offered; giving it up leaves neither file and says the download failed.
TEST_F(HistoryDialogTest, AFullDiskIsSaidBeforeTheRetryAndGivingUpLeavesNoFile) {
    SmallFilesystem disk(16384);
    if (!disk.Mounted()) GTEST_SKIP() << disk.Why();
    StartMeter({"--fast", "--history-blocks", "2"});
    std::vector<size_t> messagesBeforeDialog;
    CFileLocalDlg::SetScript([&](const CFileLocalDlg&) -> std::optional<std::string> {
        messagesBeforeDialog.push_back(Messages().size());
        if (messagesBeforeDialog.size() == 1) return disk.File("history");
        return std::nullopt;
    });
    CHistoryDlg dialog(nullptr, link.port);
    dialog.show();
    Button(dialog, kIdHistoryDownload)->click();
    ASSERT_TRUE(RunUntil([&] { return !dialog.WorkerActive(); }));

    EXPECT_EQ(messagesBeforeDialog, (std::vector<size_t>{0, 1}));
    EXPECT_EQ(Messages(),
              std::vector<std::string>{"The history could not be written to " +
                                       disk.File("history.csv") + ": No space left on device"});
    EXPECT_FALSE(messageOffUiThread_);
    EXPECT_EQ(Status(dialog), "Download Failed.");
    EXPECT_TRUE(disk.Names().empty());
    ExpectIdleButtons(dialog);
}

TEST_F(HistoryDialogTest, ExitDuringADownloadOnlyCancelsAndWhileIdleCloses) {
    StartMeter({"--history-blocks", "64"});
    CHistoryDlg dialog(nullptr, link.port);
    StartDownload(dialog);
    Button(dialog, kIdHistoryExit)->click();
    ASSERT_TRUE(RunUntil([&] { return !dialog.WorkerActive(); }));

    EXPECT_EQ(Status(dialog), "Canceled.");
    ExpectIdleButtons(dialog);
    EXPECT_FALSE(CsvExists());
    EXPECT_TRUE(Messages().empty());
    EXPECT_TRUE(dialog.isVisible());

    Button(dialog, kIdHistoryExit)->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(HistoryDialogTest, CloseBoxDuringADownloadCancelsThenCloses) {
    StartMeter({"--history-blocks", "64"});
    CHistoryDlg dialog(nullptr, link.port);
    StartDownload(dialog);
    EXPECT_FALSE(dialog.close());  // refused: the download is cancelled first
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_TRUE(RunUntil([&] { return !dialog.WorkerActive(); }));
    // The dialog looks every 100 ms whether it may close now.
    ASSERT_TRUE(RunUntil([&] { return !dialog.isVisible(); }, 1000));
    EXPECT_EQ(Status(dialog), "Canceled.");
    EXPECT_FALSE(CsvExists());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

// Escape and Enter never end the dialog during a download: Escape acts as Exit (cancels),
// Enter presses the focused button (here Stop/Save).
TEST_F(HistoryDialogTest, KeysNeverEndTheDialogDuringADownload) {
    StartMeter({"--history-blocks", "64"});
    CHistoryDlg dialog(nullptr, link.port);
    StartDownload(dialog);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    ASSERT_TRUE(RunUntil([&] { return !dialog.WorkerActive(); }));
    EXPECT_EQ(Status(dialog), "Canceled.");
    EXPECT_TRUE(dialog.isVisible());

    StartDownload(dialog);
    Button(dialog, kIdHistoryDownload)->setFocus();
    QTest::keyClick(Button(dialog, kIdHistoryDownload), Qt::Key_Return);
    EXPECT_EQ(Button(dialog, kIdHistoryDownload)->text(), "Please wait..");
    ASSERT_TRUE(RunUntil([&] { return !dialog.WorkerActive(); }));
    EXPECT_TRUE(std::regex_match(Status(dialog).toStdString(),
                                 std::regex(R"(Download stopped\. \d+KB saved\.)")));
    EXPECT_EQ(Messages(), std::vector<std::string>{Status(dialog).toStdString()});
    EXPECT_TRUE(dialog.isVisible());

    QTest::keyClick(&dialog, Qt::Key_Escape);  // idle: Exit closes
    EXPECT_FALSE(dialog.isVisible());
}

// Messages are recorded with the hand-over flags as they stood when each was shown.
struct GateCase {
    int model;
    bool connected;
    const char* message;  // nullptr: the dialog runs
};

TEST_F(HistoryDialogTest, EntryPointGatesAndAlwaysGivesThePortBack) {
    const GateCase cases[] = {
        {kModelNone, true, "Only available with ZTX-440."},
        {kModelZtx420, true, "Only available with ZTX-440."},
        {kModelZtx420Plus, true, "Only available with ZTX-440."},
        {kModelZtx430, true, "Only available with ZTX-440."},
        {kModelTkl, true, "Only available with ZTX-440."},
        {kModelZtx440, false, "Comport Error"},
        {kModelZtx8800, false, "Comport Error"},
        {kModelZtx440, true, nullptr},
        {kModelZtx8800, true, nullptr},
    };
    for (const GateCase& c : cases) {
        SCOPED_TRACE(c.model);
        link.DeviceModel = c.model;
        link.DeviceConnected = c.connected;
        std::vector<std::string> shown;
        bool heldMeanwhile = false;
        MessageHandler before = SetMessageHandler([&](const std::string& text) {
            shown.push_back(text);
            heldMeanwhile = !link.PortFree() && link.StopScreenPoll;
        });
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<CHistoryDlg*>(QApplication::activeModalWidget());
            if (!dialog) return;
            heldMeanwhile = !link.PortFree() && link.StopScreenPoll;
            shown.push_back("dialog");
            Button(*dialog, kIdHistoryExit)->click();
        });
        RunDownloadHistory(nullptr, link);
        QCoreApplication::processEvents();  // a timer left over from a refused case
        SetMessageHandler(before);

        EXPECT_EQ(shown, std::vector<std::string>{c.message ? c.message : "dialog"});
        const bool refusedByModel =
            c.message && std::string(c.message) == "Only available with ZTX-440.";
        EXPECT_EQ(heldMeanwhile, !refusedByModel);
        EXPECT_TRUE(link.PortFree());
        EXPECT_FALSE(link.StopScreenPoll);
    }
}

// Closed with the close box while downloading: the menu command returns only once the worker
// has let go, and only then gives the port back.
TEST_F(HistoryDialogTest, EntryPointGivesThePortBackAfterTheWorker) {
    StartMeter({"--history-blocks", "64"});
    link.DeviceModel = kModelZtx440;
    link.DeviceConnected = true;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<CHistoryDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        StartDownload(*dialog);
        dialog->close();
    });
    RunDownloadHistory(nullptr, link);

    EXPECT_TRUE(link.PortFree());
    EXPECT_FALSE(link.StopScreenPoll);
    EXPECT_FALSE(CsvExists());  // cancelled, and the cancel had finished
    EXPECT_FALSE(std::filesystem::exists(dir_.File("history.bin")));
}

}  // namespace
