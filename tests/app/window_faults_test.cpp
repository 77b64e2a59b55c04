// Each of the window's exchanges against a meter that spoils one reply in each way it can, or
// pulls its cable: nothing bad is plotted or saved, nothing hangs, and the next exchange of the
// same kind comes through.

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "graph/banner_wnd.h"
#include "graph/graph_window.h"
#include "history/history_dialog.h"
#include "link/link_timing.h"
#include "link/port_table.h"
#include "measure/auto_save.h"
#include "measure/measurement.h"
#include "res/history_dialog_template.h"
#include "res/main_dialog_template.h"
#include "screen/screen_bitmap.h"
#include "tests/app/main_window_fixture.h"
#include "tests/app/menu_clicks.h"
#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unplugging_meter.h"
#include "ui/file_dialog.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWaitMs = kMenuWaitMs;

// Runs `act` on the first history dialog that opens, from the loop the dialog runs.
void WhenHistoryOpens(std::function<void(CHistoryDlg&)> act) {
    auto* poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        auto* dialog = qobject_cast<CHistoryDlg*>(QApplication::activeModalWidget());
        if (!dialog) return;
        poll->stop();
        poll->deleteLater();
        act(*dialog);
    });
    poll->start(10);
}

enum class Exchange { Screen, Field, Spectrum, Screenshot, History };

struct FaultRow {
    const char* name;
    Exchange exchange;
    std::string kind;  // a --fault kind, or empty: the cable is pulled during the reply
};

// The command each exchange sends, as --fault names it.
std::string CommandOf(Exchange e) {
    switch (e) {
        case Exchange::Screen:
            return "GETSCREEN";
        case Exchange::Field:
            return "GETEMFDATA";
        case Exchange::Spectrum:
            return "GETBANDDATAHEX";
        case Exchange::Screenshot:
            return "GETSS";
        case Exchange::History:
            return "SPIR";
    }
    return {};
}

class WindowFaultsTest : public MainWindowTest, public ::testing::WithParamInterface<FaultRow> {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        setenv("XDG_DESKTOP_DIR", dir.Path().c_str(), 1);
    }
    void TearDown() override {
        CFileLocalDlg::SetScript(nullptr);
        MainWindowTest::TearDown();
        unsetenv("XDG_DESKTOP_DIR");
    }

    // The meter behind a link of its own: a window that lost it looks for it at that path.
    void Connect(const FaultRow& row) {
        std::vector<std::string> args = {
            "--fast",        "--model", "ZTX440", "--history-blocks", "2",
            "--empty-slots", "none",    "--link", dir.File("meter")};
        if (row.kind.empty())
            args.insert(args.end(), {"--unplug-after", "2"});  // the frame after GETVER
        else
            args.insert(args.end(), {"--fault", CommandOf(row.exchange) + ":" + row.kind + ":1"});
        meter = std::make_unique<MeterProcess>(args);
        ASSERT_FALSE(meter->DevicePath().empty());
        link.port.Ports().Map(1, dir.File("meter"));
        emit Combo(kIdPortSelector)->activated(0);
        ASSERT_TRUE(link.DeviceConnected);
        QTest::mouseClick(Box(kIdAutoSave), Qt::LeftButton);
        ASSERT_TRUE(Window().AutoSaveOn());
        Window().Shown().threshold = -128;  // the first sweep is accepted
        messages.clear();
    }

    std::string Said() {
        std::string all = "messages:";
        for (const std::string& m : Messages())
            all += " \"" + m + "\"";
        return all;
    }

    int AutoSaved() {
        const fs::path folder = fs::path(dir.Path()) / kAutoSaveFolderName;
        if (!fs::exists(folder)) return 0;
        return static_cast<int>(std::distance(fs::directory_iterator(folder), {}));
    }

    // Runs one exchange of the row's kind through the window's widgets; true when it brought
    // its result (a frame drawn, a fetch saved, a file written). A failed one must leave no
    // trace of its reply behind.
    bool RunExchange(Exchange e, int n) {
        messages.clear();
        switch (e) {
            case Exchange::Screen: {
                const int frames = Window().MirroredFrames();
                MirrorUntil(frames + 1, 5000);
                return Window().MirroredFrames() > frames;
            }
            case Exchange::Field:
            case Exchange::Spectrum: {
                // Fetches in one second share an auto-save name: start each from an empty folder.
                fs::remove_all(fs::path(dir.Path()) / kAutoSaveFolderName);
                QTest::mouseClick(Button(e == Exchange::Field ? kIdGetEmf : kIdGetSpectrum),
                                  Qt::LeftButton);
                const bool ok = Messages().empty();
                EXPECT_EQ(AutoSaved(), ok ? 1 : 0) << Said();
                return ok;
            }
            case Exchange::Screenshot:
                return DownloadScreenshot(n);
            case Exchange::History:
                return DownloadHistory(n);
        }
        return false;
    }

    bool DownloadScreenshot(int n) {
        const std::string name = "shot" + std::to_string(n);
        CFileLocalDlg::SetScript([this, name](const CFileLocalDlg&) { return dir.File(name); });
        ClickMenu(Window().MenuBar(), {"&File", "Download Screenshot", "1"});
        const bool ok = Messages() == std::vector<std::string>{kScreenshotSavedMessage};
        const std::string file = dir.File(name + ".bmp");
        EXPECT_EQ(fs::exists(file), ok);
        if (ok) {
            EXPECT_GT(fs::file_size(file), 1024u);
        }
        return ok;
    }

    bool DownloadHistory(int n) {
        const std::string name = "history" + std::to_string(n);
        CFileLocalDlg::SetScript([this, name](const CFileLocalDlg&) { return dir.File(name); });
        bool finished = false;
        WhenHistoryOpens([&](CHistoryDlg& dialog) {
            auto button = [&](int id) {
                return dialog.findChild<QPushButton*>(QString::number(id));
            };
            QTest::mouseClick(button(kIdHistoryDownload), Qt::LeftButton);
            // A failed download says so in the dialog's status line, not in a message.
            finished = WaitFor([&] { return !dialog.WorkerActive(); });
            QTest::mouseClick(button(kIdHistoryExit), Qt::LeftButton);
        });
        ClickMenu(Window().MenuBar(), {"&File", "&Download History"});
        EXPECT_TRUE(finished) << "the download did not end";
        const std::vector<std::string> said = Messages();
        const bool ok = said.size() == 1 && said[0].rfind("Download Finished.", 0) == 0;
        EXPECT_EQ(fs::exists(dir.File(name + ".csv")), ok);
        return ok;
    }

    TempDir dir;
    std::unique_ptr<MeterProcess> meter;
};

TEST_P(WindowFaultsTest, ABadReplyLeavesNothingBehindAndTheNextExchangeComesThrough) {
    const FaultRow& row = GetParam();
    Connect(row);
    Stopwatch watch;
    RunExchange(row.exchange, 1);
    if (row.exchange != Exchange::Screen) {  // a mirror run goes on holding the port
        EXPECT_TRUE(WaitFor([&] { return link.PortFree(); })) << "the exchange kept the port";
    }
    if (row.kind.empty()) {
        EXPECT_TRUE(WaitFor([&] {
            Window().OnTimer(kTimerMirror);
            return Window().Banner()->ShowsNotice();
        })) << "the window does not show the meter gone";
    } else {
        EXPECT_TRUE(RunExchange(row.exchange, 2)) << "the next exchange failed; " << Said();
    }
    EXPECT_LT(watch.ElapsedMs(), 60000.0);  // a generous bound: no hang
}

std::vector<FaultRow> Rows() {
    const std::pair<const char*, Exchange> exchanges[] = {
        {"Screen", Exchange::Screen},     {"Field", Exchange::Field},
        {"Spectrum", Exchange::Spectrum}, {"Screenshot", Exchange::Screenshot},
        {"History", Exchange::History},
    };
    const std::pair<const char*, const char*> faults[] = {
        {"Late150", "late=150"}, {"Late1500", "late=1500"}, {"Short", "short"},
        {"Garbage", "garbage"},  {"Junk", "junk"},          {"Silent", "silent"},
        {"Unplugged", ""},
    };
    static std::vector<std::string> names;
    std::vector<FaultRow> rows;
    names.reserve(std::size(exchanges) * std::size(faults));
    for (const auto& [exchangeName, exchange] : exchanges)
        for (const auto& [faultName, kind] : faults) {
            names.push_back(std::string(exchangeName) + faultName);
            rows.push_back({names.back().c_str(), exchange, kind});
        }
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Exchanges, WindowFaultsTest, ::testing::ValuesIn(Rows()),
                         [](const auto& info) { return std::string(info.param.name); });

// Ticks the mirror timer, as its period would, until `done`.
bool MirrorTicksUntil(CMainDlg& window, const std::function<bool()>& done) {
    return WaitFor([&] {
        window.OnTimer(kTimerMirror);
        return done();
    });
}

class MeterRecoveryTest : public MainWindowTest {
  protected:
    TempDir dir;
};

TEST_F(MeterRecoveryTest, AMeterPluggedInAgainIsMirroredAgainByItself) {
    const UnpluggingMeter meter(dir, 12, 1500);
    ASSERT_TRUE(meter.Started());
    PickPort(meter.Link());
    ASSERT_TRUE(link.DeviceConnected);

    EXPECT_TRUE(MirrorTicksUntil(Window(), [&] { return Window().Banner()->ShowsNotice(); }));
    const int framesBefore = Window().MirroredFrames();
    EXPECT_TRUE(MirrorTicksUntil(Window(), [&] {
        return !Window().Banner()->ShowsNotice() && Window().MirroredFrames() > framesBefore;
    })) << "the mirror did not resume";
}

TEST_F(MeterRecoveryTest, TheMirrorStaysLiveThroughASlowSweepLoop) {
    const std::string device = dir.File("meter");
    MeterProcess meter(
        {"--fast", "--model", "ZTX440", "--fault", "GETBANDDATAHEX:late=100", "--link", device});
    ASSERT_FALSE(meter.DevicePath().empty());
    link.port.Ports().Map(1, device);
    emit Combo(kIdPortSelector)->activated(0);
    ASSERT_TRUE(link.DeviceConnected);
    ASSERT_TRUE(MirrorUntil(1, 5000));
    Window().Shown().threshold = 1000;  // never reached: all the sweeps are made
    messages.clear();                   // the device box of the port choice
    const int framesBefore = Window().MirroredFrames();
    QTest::mouseClick(Button(kIdGetSpectrum), Qt::LeftButton);
    // Eleven sweeps leave ten gaps for a frame each; without them only the run under way at
    // the click and a frame already waiting to be shown would come.
    EXPECT_GE(Window().MirroredFrames() - framesBefore, 5);
    EXPECT_TRUE(Messages().empty()) << Messages().front();
}

class LoadRefusalTest : public MainWindowTest {
  protected:
    void TearDown() override {
        CFileLocalDlg::SetScript(nullptr);
        MainWindowTest::TearDown();
        Window().Shown().measurement.field = {};
    }
    TempDir dir;
};

TEST_F(LoadRefusalTest, ABinaryFileIsRefusedAndChangesNothing) {
    const std::string path = dir.File("noise.csv");
    {
        std::mt19937 random(7);
        std::string noise(4096, '\0');
        for (size_t i = 0; i < noise.size(); i += 3)  // every third byte stays NUL
            noise[i + 1] = static_cast<char>(random());
        std::ofstream(path, std::ios::binary) << noise;
    }
    Window().Shown().measurement.kind = kKindField;
    Window().Shown().measurement.field = {};
    Window().Shown().measurement.field.emfSeries[0] = 1.5f;
    const FieldBlockData before = Window().Shown().measurement.field;
    Window().Graph()->Refresh();
    const QImage graphBefore = *Window().Graph()->CurrentImage();

    CFileLocalDlg::SetScript([path](const CFileLocalDlg&) { return std::optional(path); });
    ClickMenu(Window().MenuBar(), {"&File", "&Load"});
    EXPECT_EQ(Messages(), std::vector<std::string>{"The file is not a measurement file."});
    EXPECT_EQ(Window().Shown().measurement.kind, kKindField);
    EXPECT_EQ(Window().Shown().measurement.field.emfSeries, before.emfSeries);
    EXPECT_EQ(Window().Shown().measurement.field.efSeries, before.efSeries);
    EXPECT_EQ(*Window().Graph()->CurrentImage(), graphBefore);
}

}  // namespace
