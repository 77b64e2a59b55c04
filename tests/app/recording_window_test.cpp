// The long-term views and the field recorder, reached through the menu bar as a person
// reaches them, with the file dialogs answering through the seam.

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>

#include "app/recording_window.h"
#include "graph/long_term_view.h"
#include "link/command_frame.h"
#include "link/link_flags.h"
#include "link/link_timing.h"
#include "link/port_table.h"
#include "record/recording_file.h"
#include "record/recording_reader.h"
#include "tests/app/main_window_fixture.h"
#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"
#include "ui/file_dialog.h"

namespace {

constexpr int kWaitMs = 30000;

bool WaitFor(const std::function<bool()>& done, int timeoutMs = kWaitMs) {
    const int64_t deadline = NowMs() + timeoutMs;
    while (!done()) {
        if (NowMs() > deadline) return false;
        QTest::qWait(5);
    }
    return true;
}

QAction* FindAction(const QList<QAction*>& actions, const QString& text) {
    auto it =
        std::find_if(actions.begin(), actions.end(), [&](QAction* a) { return a->text() == text; });
    return it == actions.end() ? nullptr : *it;
}

// Clicks the menu bar's `menuName`, then its item `item`.
void ClickMenu(QMenuBar* bar, const QString& menuName, const QString& item) {
    QAction* top = FindAction(bar->actions(), menuName);
    ASSERT_NE(top, nullptr);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(top).center());
    QMenu* menu = top->menu();
    ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }));
    QAction* action = FindAction(menu->actions(), item);
    ASSERT_NE(action, nullptr) << item.toStdString();
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
}

class RecordingWindowTest : public MainWindowTest {
  protected:
    void TearDown() override {
        CFileLocalDlg::SetScript(nullptr);
        MainWindowTest::TearDown();
    }

    void AnswerFileDialogsWith(const std::string& path) {
        CFileLocalDlg::SetScript([path](const CFileLocalDlg&) { return std::optional(path); });
    }

    QList<LongTermView*> Views() { return Window().findChildren<LongTermView*>(); }

    TempDir dir_;
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
    ClickMenu(Window().MenuBar(), "&File", "Open &Recording...");
    ASSERT_TRUE(WaitFor([&] { return Views().size() == 1; }));
    EXPECT_TRUE(Views()[0]->window()->isVisible());
    EXPECT_EQ(Views()[0]->Series().times.size(), 3u);
}

TEST_F(RecordingWindowTest, AFileThatCannotBeReadSaysWhyAndOpensNothing) {
    const std::string path = dir_.File("broken.csv");
    std::ofstream(path) << "time,x_mg,y_mg,z_mg,emf_mg,ef_vm\nnot a row\n";
    AnswerFileDialogsWith(path);
    ClickMenu(Window().MenuBar(), "&File", "&Open History...");
    ASSERT_TRUE(WaitFor([&] { return !Messages().empty(); }));
    EXPECT_NE(Messages()[0].find("broken.csv"), std::string::npos);
    EXPECT_TRUE(Views().empty());
}

TEST_F(RecordingWindowTest, RecordFieldReadingsWritesEachSecondOnceUntilStop) {
    MeterProcess meter({"--fast", "--model", "ZTX440", "--log", dir_.File("meter.log")});
    ASSERT_FALSE(meter.DevicePath().empty());
    PortTable::Instance().Map(1, meter.DevicePath());
    RunStartupScan();
    ASSERT_TRUE(DeviceConnected);
    const std::string path = dir_.File("rec.csv");
    AnswerFileDialogsWith(path);

    ClickMenu(Window().MenuBar(), "Tools", "&Record Field Readings...");
    ASSERT_TRUE(WaitFor([&] { return Window().Recorder() && Window().Recorder()->Recording(); }));
    Window().Recorder()->SetPeriods(100, 100);
    std::string request;
    char pair[4];
    for (uint8_t byte : BuildFrame("GETEMFDATA")) {
        std::snprintf(pair, sizeof pair, "%s%02X", request.empty() ? "" : " ", byte);
        request += pair;
    }
    const auto fetches = [&] {
        int count = 0;
        for (const std::string& line : ReadLogLines(dir_.File("meter.log")))
            count += line.rfind(request, 0) == 0;
        return count;
    };
    ASSERT_TRUE(WaitFor([&] { return fetches() >= 4 && Window().Recorder()->Rows() > 60; }));
    ClickMenu(Window().MenuBar(), "Tools", "Stop &Recording");
    ASSERT_TRUE(WaitFor([&] { return !Window().Recorder()->Recording(); }));

    RecordingKind kind;
    TimeSeries series;
    SpectrumSeries spectrum;
    std::string error;
    ASSERT_TRUE(LoadRecording(path, &kind, &series, &spectrum, &error)) << error;
    EXPECT_EQ(kind, RecordingKind::Field);
    EXPECT_EQ(static_cast<int64_t>(series.times.size()), Window().Recorder()->Rows());
    EXPECT_TRUE(std::adjacent_find(series.times.begin(), series.times.end(),
                                   std::greater_equal<int64_t>()) == series.times.end());
    ASSERT_FALSE(Views().empty());  // the live trend
    EXPECT_EQ(Views()[0]->Series().times.size(), series.times.size());
}

}  // namespace
