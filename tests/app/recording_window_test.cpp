// The long-term views and the field and spectrum recorders, reached through the menu bar as a
// person reaches them, with the file dialogs answering through the seam.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "app/recording_window.h"
#include "app/view_window.h"
#include "graph/display_options.h"
#include "graph/graph_window.h"
#include "graph/long_term_view.h"
#include "graph/waterfall_view.h"
#include "link/command_frame.h"
#include "link/link_timing.h"
#include "link/meter_identity.h"
#include "link/meter_link.h"
#include "link/port_guard.h"
#include "link/port_table.h"
#include "link/serial_port.h"
#include "measure/auto_save.h"
#include "record/recording_file.h"
#include "record/recording_reader.h"
#include "res/main_dialog_template.h"
#include "tests/app/main_window_fixture.h"
#include "tests/app/menu_clicks.h"
#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unplugging_meter.h"
#include "ui/file_dialog.h"

namespace {

// A recording file read back as the views read it.
struct LoadedRecording {
    bool loaded = false;
    RecordingKind kind = RecordingKind::History;
    TimeSeries series;
    SpectrumSeries spectrum;
    std::string error;
};

LoadedRecording Load(const std::string& path) {
    LoadedRecording file;
    file.loaded = LoadRecording(path, &file.kind, &file.series, &file.spectrum, &file.error);
    return file;
}

// The GETEMFDATA frames in the virtual meter's log.
int FieldFetchesLogged(const std::string& log) {
    std::string request;
    char pair[4];
    for (uint8_t byte : BuildFrame("GETEMFDATA")) {
        std::snprintf(pair, sizeof pair, "%s%02X", request.empty() ? "" : " ", byte);
        request += pair;
    }
    int count = 0;
    for (const std::string& line : ReadLogLines(log))
        count += line.rfind(request, 0) == 0;
    return count;
}

bool StrictlyIncreasing(const std::vector<int64_t>& times) {
    return std::adjacent_find(times.begin(), times.end(), std::greater_equal<int64_t>()) ==
           times.end();
}

class RecordingWindowTest : public MainWindowTest {
  protected:
    void TearDown() override {
        CFileLocalDlg::SetScript(nullptr);
        unsetenv("XDG_DESKTOP_DIR");
        MainWindowTest::TearDown();
    }

    void AnswerFileDialogsWith(const std::string& path) {
        CFileLocalDlg::SetScript([path](const CFileLocalDlg&) { return std::optional(path); });
    }

    QList<LongTermView*> Views() { return Window().findChildren<LongTermView*>(); }

    // A virtual meter with `args` as COM1, found by the start-up scan.
    void ConnectMeter(const std::vector<std::string>& args) {
        meter_ = std::make_unique<MeterProcess>(args);
        ASSERT_FALSE(meter_->DevicePath().empty());
        link.port.Ports().Map(1, meter_->DevicePath());
        RunStartupScan();
        ASSERT_TRUE(link.DeviceConnected);
    }

    TempDir dir_;
    std::unique_ptr<MeterProcess> meter_;
};

TEST_F(RecordingWindowTest, OpenRecordingShowsTheFileInAViewWindow) {
    const std::string path = dir_.File("field.csv");
    {
        RecordingFile file;
        std::string error;
        ASSERT_TRUE(file.Create(path, std::string(kFieldRecordingHeader) + "\n", &error));
        std::string lines;
        for (int64_t t : {1765188000, 1765188001, 1765188005})
            lines += FieldCsvLine(FieldRow{t, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f});
        ASSERT_TRUE(file.Append(lines, NowMs(), &error));
        ASSERT_TRUE(file.Close(&error));
    }
    AnswerFileDialogsWith(path);
    ClickMenu(Window().MenuBar(), {"&File", "Open &Recording..."});
    ASSERT_TRUE(WaitFor([&] { return Views().size() == 1; }));
    EXPECT_TRUE(Views()[0]->window()->isVisible());
    EXPECT_EQ(Views()[0]->Series().times.size(), 3u);
}

TEST_F(RecordingWindowTest, AFileThatCannotBeReadSaysWhyAndOpensNothing) {
    const std::string path = dir_.File("broken.csv");
    std::ofstream(path) << "time,x_mg,y_mg,z_mg,emf_mg,ef_vm\nnot a row\n";
    AnswerFileDialogsWith(path);
    ClickMenu(Window().MenuBar(), {"&File", "&Open History..."});
    ASSERT_TRUE(WaitFor([&] { return !Messages().empty(); }));
    EXPECT_NE(Messages()[0].find("broken.csv"), std::string::npos);
    EXPECT_TRUE(Views().empty());
}

TEST_F(RecordingWindowTest, RecordFieldReadingsWritesEachSecondOnceUntilStop) {
    ASSERT_NO_FATAL_FAILURE(
        ConnectMeter({"--fast", "--model", "ZTX440", "--log", dir_.File("meter.log")}));
    const std::string path = dir_.File("rec.csv");
    std::ofstream(path) << "an older file the dialog asked to replace\n";
    AnswerFileDialogsWith(path);
    // The recording is the one file: the auto-save box adds none per fetch.
    setenv("XDG_DESKTOP_DIR", dir_.Path().c_str(), 1);
    QTest::mouseClick(Box(kIdAutoSave), Qt::LeftButton);
    ASSERT_TRUE(Window().AutoSaveOn());

    ClickMenu(Window().MenuBar(), {"Tools", "&Record Field Readings..."});
    ASSERT_TRUE(WaitFor([&] { return Window().Recorder() && Window().Recorder()->Recording(); }));
    Window().Recorder()->SetPeriods(100, 100);
    const auto fetches = [&] { return FieldFetchesLogged(dir_.File("meter.log")); };
    ASSERT_TRUE(WaitFor([&] { return fetches() >= 4 && Window().Recorder()->Rows() > 60; }));
    ASSERT_FALSE(Views().empty());  // the live trend, at the last five minutes
    EXPECT_EQ(Views()[0]->SpanEnd() - Views()[0]->SpanStart(), 300);
    ClickMenu(Window().MenuBar(), {"Tools", "Stop &Field Recording"});
    ASSERT_TRUE(WaitFor([&] { return !Window().Recorder()->Recording(); }));

    const LoadedRecording file = Load(path);
    ASSERT_TRUE(file.loaded) << file.error;
    EXPECT_EQ(file.kind, RecordingKind::Field);
    EXPECT_EQ(static_cast<int64_t>(file.series.times.size()), Window().Recorder()->Rows());
    EXPECT_TRUE(StrictlyIncreasing(file.series.times));
    ASSERT_FALSE(Views().empty());  // the live trend
    EXPECT_EQ(Views()[0]->Series().times.size(), file.series.times.size());
    EXPECT_FALSE(std::filesystem::exists(dir_.File(kAutoSaveFolderName)));
    EXPECT_EQ(Messages().size(), 1u) << Messages().back();  // the scan's device box alone
}

// The band chosen on the meter (WCFG address 3) while the recording runs, as its Band menu
// would: sent from this thread between two fetches.
void ChooseBandOnMeter(MeterLink& link, uint8_t band) {
    PortGuard guard(link);
    if (!link.port.IsOpen()) link.port.Open(link.PortNumber);
    const Bytes frame = BuildFrame("WCFG", {3, band});
    ASSERT_EQ(link.port.Send(frame.data(), static_cast<int>(frame.size())),
              static_cast<int>(frame.size()));
}

TEST_F(RecordingWindowTest, RecordSpectraWritesEachSweepUnderTheHeaderOfItsBand) {
    ASSERT_NO_FATAL_FAILURE(ConnectMeter({"--fast", "--model", "ZTX440", "--band", "0"}));
    const std::string path = dir_.File("sweeps.csv");
    AnswerFileDialogsWith(path);

    ClickMenu(Window().MenuBar(), {"Tools", "Record &Spectra..."});
    RecordingController* recorder = Window().SpectrumRecorder();
    ASSERT_TRUE(recorder && recorder->Recording());
    recorder->SetPeriods(100, 100);
    WaterfallView* live = recorder->LiveWaterfall();
    ASSERT_TRUE(live);
    ASSERT_TRUE(WaitFor([&] { return live->Series().rows.size() >= 2; }));
    const uint32_t wifiStartHz = live->Series().rows[0].frequencyHz[0];
    ChooseBandOnMeter(link, 3);
    ASSERT_TRUE(WaitFor([&] { return live->Series().rows.back().frequencyHz[0] != wifiStartHz; }));
    ClickMenu(Window().MenuBar(), {"Tools", "Stop S&pectrum Recording"});
    ASSERT_FALSE(recorder->Recording());

    const LoadedRecording file = Load(path);
    ASSERT_TRUE(file.loaded) << file.error;
    EXPECT_EQ(file.kind, RecordingKind::Spectrum);
    const std::vector<SpectrumRow>& rows = file.spectrum.rows;
    EXPECT_EQ(static_cast<int64_t>(rows.size()), recorder->Rows());
    EXPECT_EQ(rows.front().frequencyHz[0], wifiStartHz);
    EXPECT_EQ(rows.back().frequencyHz[0], 1700000000u);
    for (const SpectrumRow& shown : live->Series().rows)
        EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [&](const SpectrumRow& row) {
            return row.time == shown.time && row.dbm == shown.dbm && SameBins(row, shown);
        })) << "a sweep on show is not in the file";
}

// The recorder's fetches go into its own reading: its sweeps leave the field reading the
// window fetched on the same meter on show as it was.
TEST_F(RecordingWindowTest, ARecordingsSweepsLeaveTheWindowsOwnReadingAsItWas) {
    ASSERT_NO_FATAL_FAILURE(ConnectMeter({"--fast", "--model", "ZTX440"}));
    AnswerFileDialogsWith(dir_.File("sweeps.csv"));
    ClickMenu(Window().MenuBar(), {"Tools", "Record &Spectra..."});
    RecordingController* recorder = Window().SpectrumRecorder();
    ASSERT_TRUE(recorder && recorder->Recording());
    recorder->SetPeriods(100, 100);
    const Measurement& shown = Window().Shown().measurement;
    QTest::mouseClick(Button(kIdGetEmf), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return shown.kind == kKindField && shown.bytes[1200] == 0xAA; }));
    const Measurement fetched = shown;
    const int64_t rows = recorder->Rows();
    ASSERT_TRUE(WaitFor([&] { return recorder->Rows() >= rows + 3; }));
    EXPECT_EQ(shown.kind, kKindField);
    EXPECT_EQ(shown.bytes, fetched.bytes);
    EXPECT_EQ(shown.field.emfSeries, fetched.field.emfSeries);
    ClickMenu(Window().MenuBar(), {"Tools", "Stop S&pectrum Recording"});
}

TEST_F(RecordingWindowTest, RecordSpectraOnAMeterWithoutSpectraSaysSoAndCreatesNoFile) {
    ASSERT_NO_FATAL_FAILURE(ConnectMeter({"--fast", "--model", "ZTX420"}));
    const std::string path = dir_.File("sweeps.csv");
    AnswerFileDialogsWith(path);

    ClickMenu(Window().MenuBar(), {"Tools", "Record &Spectra..."});
    ASSERT_FALSE(Messages().empty());
    EXPECT_EQ(Messages().back(), "Not Supported.");
    EXPECT_FALSE(Window().SpectrumRecorder() && Window().SpectrumRecorder()->Recording());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(RecordingWindowTest, AFieldRecordingGoesOnWhenTheMeterIsPluggedInAgain) {
    const UnpluggingMeter meter(dir_, 12, 1500);
    ASSERT_TRUE(meter.Started());
    PickPort(meter.Link());
    ASSERT_TRUE(link.DeviceConnected);
    const std::string path = dir_.File("across.csv");
    AnswerFileDialogsWith(path);

    ClickMenu(Window().MenuBar(), {"Tools", "&Record Field Readings..."});
    RecordingController* recorder = Window().Recorder();
    ASSERT_TRUE(recorder && recorder->Recording());
    recorder->SetPeriods(100, 100);
    ASSERT_TRUE(WaitFor([&] { return link.LinkLost.load(); }));
    const int64_t rowsBefore = recorder->Rows();
    // The window looks for its lost meter on the mirror's ticks.
    ASSERT_TRUE(WaitFor([&] {
        Window().OnTimer(kTimerMirror);
        return !link.LinkLost && recorder->Rows() > rowsBefore;
    }));
    ClickMenu(Window().MenuBar(), {"Tools", "Stop &Field Recording"});
    ASSERT_FALSE(recorder->Recording());

    const LoadedRecording file = Load(path);
    ASSERT_TRUE(file.loaded) << file.error;
    EXPECT_EQ(file.kind, RecordingKind::Field);
    EXPECT_GT(rowsBefore, 0);
    EXPECT_EQ(static_cast<int64_t>(file.series.times.size()), recorder->Rows());
    EXPECT_TRUE(StrictlyIncreasing(file.series.times)) << "a second was written twice";
    // The meter went on measuring while unplugged, for less than its 60-second memory: the
    // first block after it comes back still overlaps the last one before, so every second
    // is there once.
    EXPECT_EQ(file.series.times.back() - file.series.times.front() + 1,
              static_cast<int64_t>(file.series.times.size()));
}

TEST_F(RecordingWindowTest, FieldAndSpectrumRecordingsRunSideBySideEachWithItsStopAndView) {
    ASSERT_NO_FATAL_FAILURE(ConnectMeter({"--fast", "--model", "ZTX440"}));
    const std::string fieldPath = dir_.File("field.csv");
    const std::string sweepsPath = dir_.File("sweeps.csv");
    AnswerFileDialogsWith(fieldPath);
    ClickMenu(Window().MenuBar(), {"Tools", "&Record Field Readings..."});
    AnswerFileDialogsWith(sweepsPath);
    ClickMenu(Window().MenuBar(), {"Tools", "Record &Spectra..."});
    RecordingController* field = Window().Recorder();
    RecordingController* sweeps = Window().SpectrumRecorder();
    ASSERT_TRUE(field && field->Recording() && sweeps && sweeps->Recording());
    // At their own pace, a fetch a second each, both get their turns: past the first block,
    // each field row comes from a fetch among the sweeps.
    ASSERT_TRUE(WaitFor([&] { return field->Rows() > 62 && sweeps->Rows() >= 3; }));
    // Each recording's status is on show at the menu bar's right, side by side.
    QMenuBar* bar = Window().MenuBar();
    QWidget* corner = bar->cornerWidget(Qt::TopRightCorner);
    ASSERT_TRUE(corner);
    QStringList shown;
    QList<QRect> places;
    for (QLabel* status : corner->findChildren<QLabel*>()) {
        const QRect place(status->mapTo(bar, QPoint()), status->size());
        EXPECT_TRUE(status->isVisible() && bar->rect().contains(place));
        EXPECT_FALSE(std::any_of(places.begin(), places.end(),
                                 [&](const QRect& other) { return other.intersects(place); }));
        shown << status->text();
        places << place;
    }
    ASSERT_EQ(shown.size(), 2);
    EXPECT_TRUE(shown[0].startsWith("Field: field.csv")) << shown[0].toStdString();
    EXPECT_TRUE(shown[1].startsWith("Spectra: sweeps.csv")) << shown[1].toStdString();
    // A closed view comes back with Record... while its recording runs, with every sweep.
    QPointer<QWidget> closed(sweeps->LiveWaterfall()->window());
    closed->close();
    ASSERT_TRUE(WaitFor([&] { return closed.isNull(); }));
    ClickMenu(Window().MenuBar(), {"Tools", "Record &Spectra..."});
    ASSERT_TRUE(sweeps->LiveWaterfall() && sweeps->LiveWaterfall()->isVisible());
    EXPECT_EQ(static_cast<int64_t>(sweeps->LiveWaterfall()->Series().rows.size()), sweeps->Rows());
    // Each view's Stop Recording ends its own recording.
    for (QPushButton* button : field->LiveView()->window()->findChildren<QPushButton*>())
        if (button->text() == kStopRecordingCaption) QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(field->Recording());
    EXPECT_TRUE(sweeps->Recording());
    // Each Tools stop item is there while its own recording runs.
    ClickMenu(Window().MenuBar(), {"Tools"});
    QMenu* tools = FindAction(bar->actions(), "Tools")->menu();
    EXPECT_FALSE(FindAction(tools->actions(), "Stop Field Recording")->isEnabled());
    EXPECT_TRUE(FindAction(tools->actions(), "Stop Spectrum Recording")->isEnabled());
    tools->hide();
    ClickMenu(Window().MenuBar(), {"Tools", "Stop Spectrum Recording"});
    EXPECT_FALSE(sweeps->Recording());
    EXPECT_EQ(Messages().size(), 1u) << Messages().back();  // the scan's device box alone

    const LoadedRecording fieldFile = Load(fieldPath);
    ASSERT_TRUE(fieldFile.loaded) << fieldFile.error;
    EXPECT_EQ(fieldFile.kind, RecordingKind::Field);
    EXPECT_EQ(static_cast<int64_t>(fieldFile.series.times.size()), field->Rows());
    EXPECT_EQ(fieldFile.series.times.back() - fieldFile.series.times.front() + 1, field->Rows())
        << "a second is missing or written twice";
    const LoadedRecording sweepsFile = Load(sweepsPath);
    ASSERT_TRUE(sweepsFile.loaded) << sweepsFile.error;
    EXPECT_EQ(sweepsFile.kind, RecordingKind::Spectrum);
    EXPECT_EQ(static_cast<int64_t>(sweepsFile.spectrum.rows.size()), sweeps->Rows());
}

// The recorder's fetch runs while the window goes on with its events: the close box asks, and
// Yes stops a fetch that waits for a silent meter instead of waiting for its end.
TEST_F(RecordingWindowTest, TheCloseBoxStopsARecordersFetchFromASilentMeter) {
    const std::string log = dir_.File("meter.log");
    MeterProcess meter({"--fast", "--fault", "GETEMFDATA:silent", "--log", log});
    ASSERT_FALSE(meter.DevicePath().empty());
    link.port.Ports().Map(1, meter.DevicePath());
    emit Combo(kIdPortSelector)->activated(0);
    ASSERT_TRUE(link.DeviceConnected);
    AnswerFileDialogsWith(dir_.File("rec.csv"));
    // Once the recorder has asked, its fetch is in the silent meter's wait.
    auto* poll = new QTimer(&Window());
    QObject::connect(poll, &QTimer::timeout, &Window(), [this, poll, log] {
        if (FieldFetchesLogged(log) == 0) return;
        poll->stop();
        WhenAskedBeforeClosing(QMessageBox::Yes);
        Window().close();
    });
    poll->start(5);

    ClickMenu(Window().MenuBar(), {"Tools", "&Record Field Readings..."});
    ASSERT_TRUE(WaitFor([&] { return !Window().isVisible(); }));
    ASSERT_TRUE(Window().Recorder());
    EXPECT_EQ(Window().Recorder()->LastError(), "the fetch was stopped");
    EXPECT_TRUE(link.PortFree());
}

// Clicks and keys during a recorder's fetches all take effect, a fetch button's after the fetch.
TEST_F(RecordingWindowTest, ClicksDuringARecordersFetchesAllTakeEffect) {
    const std::string log = dir_.File("meter.log");
    ASSERT_NO_FATAL_FAILURE(ConnectMeter({"--fast", "--model", "ZTX440", "--log", log}));
    AnswerFileDialogsWith(dir_.File("sweeps.csv"));
    ClickMenu(Window().MenuBar(), {"Tools", "Record &Spectra..."});
    RecordingController* recorder = Window().SpectrumRecorder();
    ASSERT_TRUE(recorder && recorder->Recording());
    recorder->SetPeriods(100, 100);
    constexpr int kClicks = 10;
    const int firstItem = Combo(kIdThresholdDbm)->currentIndex();
    int clicks = 0;
    int toggled = 0;
    // Each click comes while the recorder's fetch holds the port; the last is GET EMF DATA.
    auto* poll = new QTimer(&Window());
    QObject::connect(poll, &QTimer::timeout, [&] {
        if (link.PortFree() || clicks == kClicks) return;
        const uint8_t before = Window().Graph()->Options().ShowBar;
        QTest::mouseClick(Box(kIdBar), Qt::LeftButton);
        toggled += Window().Graph()->Options().ShowBar != before &&
                   Box(kIdBar)->isChecked() == (Window().Graph()->Options().ShowBar != 0);
        QTest::keyClick(Combo(kIdThresholdDbm), Qt::Key_Down);
        if (++clicks == kClicks) QTest::mouseClick(Button(kIdGetEmf), Qt::LeftButton);
    });
    poll->start(5);
    EXPECT_TRUE(WaitFor([&] { return clicks == kClicks && FieldFetchesLogged(log) == 1; }));
    delete poll;
    EXPECT_EQ(toggled, kClicks);
    EXPECT_EQ(Combo(kIdThresholdDbm)->currentIndex(), firstItem + kClicks);
    const int chosen = Combo(kIdThresholdDbm)->currentText().section(' ', 0, 0).toInt();
    EXPECT_TRUE(WaitFor([&] { return Window().Shown().threshold == chosen; })) << chosen;
    ClickMenu(Window().MenuBar(), {"Tools", "Stop S&pectrum Recording"});
}

// Enter, Escape and the close box ask during a recording: No keeps it, Yes stops it and closes.
struct CloseWayRow {
    const char* name;
    std::function<void(CMainDlg&)> close;
    QDialog::DialogCode result;
};

class CloseDuringARecordingTest : public RecordingWindowTest,
                                  public ::testing::WithParamInterface<CloseWayRow> {};

TEST_P(CloseDuringARecordingTest, AsksFirstAndNoKeepsTheWindow) {
    ASSERT_NO_FATAL_FAILURE(ConnectMeter({"--fast", "--model", "ZTX440"}));
    AnswerFileDialogsWith(dir_.File("rec.csv"));
    ClickMenu(Window().MenuBar(), {"Tools", "&Record Field Readings..."});
    RecordingController* recorder = Window().Recorder();
    ASSERT_TRUE(recorder && recorder->Recording());
    recorder->SetPeriods(100, 100);
    for (QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        const size_t asked = questions.size();
        WhenAskedBeforeClosing(answer);
        GetParam().close(Window());
        ASSERT_TRUE(WaitFor([&] { return questions.size() > asked; }));
        EXPECT_EQ(questions.back(), "A recording is running. Stop it and close Ferrolog?");
        if (answer == QMessageBox::No) {
            EXPECT_TRUE(Window().isVisible());
            EXPECT_TRUE(recorder->Recording());
        }
    }
    ASSERT_TRUE(WaitFor([&] { return !Window().isVisible(); }));
    EXPECT_EQ(Window().result(), GetParam().result);
    EXPECT_FALSE(recorder->Recording());
    EXPECT_TRUE(Load(dir_.File("rec.csv")).loaded);
}

INSTANTIATE_TEST_SUITE_P(Ways, CloseDuringARecordingTest,
                         ::testing::Values(CloseWayRow{"Enter",
                                                       [](CMainDlg& window) {
                                                           QWidget* line = window.Control(kIdLine);
                                                           line->setFocus();
                                                           QTest::keyClick(line, Qt::Key_Return);
                                                       },
                                                       QDialog::Accepted},
                                           CloseWayRow{"Escape",
                                                       [](CMainDlg& window) {
                                                           QTest::keyClick(
                                                               window.Control(kIdThresholdDbm),
                                                               Qt::Key_Escape);
                                                       },
                                                       QDialog::Rejected},
                                           CloseWayRow{"CloseBox",
                                                       [](CMainDlg& window) { window.close(); },
                                                       QDialog::Rejected}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
