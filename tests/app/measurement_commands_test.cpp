// The fetches, File › Load and File › Save, auto save and the once-a-second tick, through the
// real window against the virtual meter.

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "graph/graph_window.h"
#include "link/command_frame.h"
#include "link/link_timing.h"
#include "link/port_guard.h"
#include "link/port_table.h"
#include "measure/auto_save.h"
#include "measure/measurement.h"
#include "res/main_dialog_template.h"
#include "tests/app/main_window_fixture.h"
#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"
#include "ui/file_dialog.h"

namespace fs = std::filesystem;

namespace {

int Count(const std::vector<std::string>& lines, const std::string& hex) {
    int n = 0;
    for (const auto& line : lines)
        n += line == hex;
    return n;
}

const std::string kGetEmf = HexString(BuildFrame("GETEMFDATA"));
const std::string kGetBand = HexString(BuildFrame("GETBANDDATAHEX"));

class MeasurementTest : public MainWindowTest {
  protected:
    void Connect(std::vector<std::string> args) {
        args.insert(args.end(), {"--fast", "--log", log});
        meter = std::make_unique<MeterProcess>(args);
        ASSERT_FALSE(meter->DevicePath().empty());
        link.port.Ports().Map(1, meter->DevicePath());
        emit Combo(kIdPortSelector)->activated(0);
        ASSERT_TRUE(link.DeviceConnected);
        messages.clear();
    }
    void TearDown() override {
        CFileLocalDlg::SetScript(nullptr);
        MainWindowTest::TearDown();
    }
    std::vector<std::string> Log() { return ReadLogLines(log); }
    // Dark pixels in the image region where a status text stands.
    int DarkPixels(QRect region) {
        const QImage* image = Window().Graph()->CurrentImage();
        int dark = 0;
        for (int y = region.top(); y <= region.bottom(); ++y)
            for (int x = region.left(); x <= region.right(); ++x)
                dark += qGray(image->pixel(x, y)) < 100;
        return dark;
    }
    void AnswerFileDialogs(std::optional<std::string> path) {
        CFileLocalDlg::SetScript([path](const CFileLocalDlg&) { return path; });
    }

    TempDir dir;
    std::string log = dir.File("frames.log");
    std::unique_ptr<MeterProcess> meter;
};

TEST_F(MeasurementTest, OneFieldFetchDecodesTheMetersBlock) {
    Connect({});
    Window().Shown().measurement.field = {};
    QTest::mouseClick(Button(kIdGetEmf), Qt::LeftButton);
    EXPECT_EQ(Window().Shown().measurement.kind, kKindField);
    EXPECT_EQ(Count(Log(), kGetEmf), 1);
    EXPECT_EQ(Window().Shown().measurement.bytes[1200], 0xAA);
    float sum = 0;
    for (float v : Window().Shown().measurement.field.emfSeries)
        sum += v;
    EXPECT_GT(sum, 0.0f);
    EXPECT_TRUE(link.PortFree());
    EXPECT_TRUE(messages.empty());
}

TEST_F(MeasurementTest, ABrokenFieldReplyIsAskedForAgain) {
    Connect({"--fault", "GETEMFDATA:corrupt:1"});
    Window().FetchFieldReading();
    EXPECT_EQ(Count(Log(), kGetEmf), 2);
    EXPECT_TRUE(messages.empty());
}

TEST_F(MeasurementTest, ASilentMeterEndsTheFieldFetchWithinItsBoundAndSaysSo) {
    Connect({"--fault", "GETEMFDATA:silent"});
    Stopwatch watch;
    Window().FetchFieldReading();
    EXPECT_LT(watch.ElapsedMs(), 4000.0);
    EXPECT_EQ(messages, std::vector<std::string>{"The meter sent no complete field reading."});
    EXPECT_TRUE(link.PortFree());
}

TEST_F(MeasurementTest, ThresholdZeroMakesElevenSweepsAndFindsNothing) {
    Connect({});
    Window().Shown().threshold = 0;
    QTest::mouseClick(Button(kIdGetSpectrum), Qt::LeftButton);
    EXPECT_EQ(Count(Log(), kGetBand), 11);
    EXPECT_EQ(Window().Shown().measurement.kind, kKindSpectrum);
    const WindowRect& r = Window().Graph()->ImageRect();
    EXPECT_GT(DarkPixels(QRect((r.Width() - 100) / 2, r.Height() / 2, 80, 12)), 20);
}

// No sweep's reply comes whole: the event loop turns with "Please wait..." on show until the last
// sweep, and the end says that no spectrum came, not that none reached the threshold.
TEST_F(MeasurementTest, ALateMeterKeepsTheWindowLiveAndSaysNoSpectrumCame) {
    Connect({"--fault", "GETBANDDATAHEX:late=4000"});
    Window().Shown().threshold = -128;  // any whole sweep would be accepted
    const WindowRect& r = Window().Graph()->ImageRect();
    const QRect mark((r.Width() - 100) / 2, r.Height() / 2, 80, 12);
    int ticks = 0;
    int markGone = 0;
    qint64 longestGapMs = 0;
    QElapsedTimer sinceTick;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        ++ticks;
        markGone += DarkPixels(mark) < 20;
        longestGapMs = std::max(longestGapMs, sinceTick.restart());
    });
    tick.start(20);
    sinceTick.start();
    QTest::mouseClick(Button(kIdGetSpectrum), Qt::LeftButton);
    tick.stop();
    RecordProperty("longest_event_loop_gap_ms", static_cast<int>(longestGapMs));
    EXPECT_GT(ticks, Count(Log(), kGetBand));
    EXPECT_EQ(markGone, 0);
    EXPECT_EQ(messages, std::vector<std::string>{"The meter sent no complete spectrum."});
    const QImage shown = *Window().Graph()->CurrentImage();
    Window().Graph()->Refresh();
    EXPECT_EQ(*Window().Graph()->CurrentImage(), shown) << "a status text stands over the sweep";
}

TEST_F(MeasurementTest, TheLowestThresholdAcceptsTheFirstSweep) {
    Connect({});
    emit Combo(kIdThresholdDbm)->activated(0);
    ASSERT_EQ(Window().Shown().threshold, -128);
    Window().FetchSpectrum();
    EXPECT_EQ(Count(Log(), kGetBand), 1);
}

TEST_F(MeasurementTest, SpectrumIsNotSupportedOnModelsWithoutItAndThePortIsLeftAlone) {
    Connect({"--model", "ZTX-8800"});
    QTest::mouseClick(Button(kIdGetSpectrum), Qt::LeftButton);
    EXPECT_EQ(messages, std::vector<std::string>{"Not Supported."});
    EXPECT_EQ(Count(Log(), kGetBand), 0);
}

TEST_F(MeasurementTest, TheSecondTickFetchesTheCheckedKindAndSkipsWhileADialogHoldsThePort) {
    Connect({});
    QTest::mouseClick(Box(kIdAutoField), Qt::LeftButton);
    Window().OnTimer(kTimerFetch);
    EXPECT_EQ(Count(Log(), kGetEmf), 1);
    {
        PortGuard dialogHoldsThePort(link);
        Stopwatch watch;
        Window().OnTimer(kTimerFetch);
        EXPECT_LT(watch.ElapsedMs(), 2000.0);  // skipped, not waiting for the port
    }
    QTest::mouseClick(Box(kIdAutoSpectrum), Qt::LeftButton);
    emit Combo(kIdThresholdDbm)->activated(0);
    Window().OnTimer(kTimerFetch);
    EXPECT_EQ(Count(Log(), kGetEmf), 1);
    EXPECT_EQ(Count(Log(), kGetBand), 1);
}

TEST_F(MeasurementTest, SaveThenLoadRestoresTheMeasurement) {
    Connect({});
    Window().FetchFieldReading();
    const FieldBlockData fetched = Window().Shown().measurement.field;
    AnswerFileDialogs(dir.File("trace"));
    Window().SaveMeasurement();
    ASSERT_TRUE(fs::exists(dir.File("trace.csv")));
    EXPECT_EQ(messages, std::vector<std::string>{"File Saved"});

    Window().Shown().measurement.field = {};
    Window().Shown().measurement.kind = kKindSpectrum;
    AnswerFileDialogs(dir.File("trace.csv"));
    Window().LoadMeasurement();
    EXPECT_EQ(Window().Shown().measurement.kind, kKindField);
    EXPECT_EQ(Window().Shown().measurement.field.emfSeries, fetched.emfSeries);
    EXPECT_EQ(Window().Shown().measurement.field.efSeries, fetched.efSeries);
}

TEST_F(MeasurementTest, LoadOfAMissingFileSaysSoAndChangesNothing) {
    Window().Shown().measurement.kind = kKindSpectrum;
    AnswerFileDialogs(dir.File("missing.csv"));
    Window().LoadMeasurement();
    EXPECT_EQ(messages, std::vector<std::string>{"Failed to open the file."});
    EXPECT_EQ(Window().Shown().measurement.kind, kKindSpectrum);
}

TEST_F(MeasurementTest, SaveIntoAFolderThatCannotTakeTheFileSaysSo) {
    AnswerFileDialogs(dir.File("no-such-folder/trace"));
    Window().SaveMeasurement();
    EXPECT_EQ(messages, std::vector<std::string>{"Failed to create the file."});
}

TEST_F(MeasurementTest, CancelledDialogsDoNothing) {
    AnswerFileDialogs(std::nullopt);
    Window().SaveMeasurement();
    Window().LoadMeasurement();
    EXPECT_TRUE(messages.empty());
}

TEST_F(MeasurementTest, AutoSaveWritesEachAcceptedFetchIntoTheDesktopFolder) {
    setenv("XDG_DESKTOP_DIR", dir.Path().c_str(), 1);
    Connect({});
    QTest::mouseClick(Box(kIdAutoSave), Qt::LeftButton);
    Window().FetchFieldReading();
    emit Combo(kIdThresholdDbm)->activated(0);
    Window().FetchSpectrum();
    unsetenv("XDG_DESKTOP_DIR");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::path(dir.Path()) / "Ferrolog_AutoSave"))
        names.push_back(entry.path().filename().string());
    ASSERT_EQ(names.size(), 2u);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names[0].rfind("emf_", 0), 0u);
    EXPECT_EQ(names[1].rfind("rfspectrum_", 0), 0u);
    EXPECT_NE(names[1].find("_-128dBm.csv"), std::string::npos);
}

}  // namespace
