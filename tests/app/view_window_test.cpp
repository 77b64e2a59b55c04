// The window around a long-term trend or a waterfall, used through its buttons as a person
// uses it, with the file dialog answering through the seam.

#include <gtest/gtest.h>

#include <QImage>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>
#include <filesystem>
#include <memory>

#include "app/view_window.h"
#include "graph/long_term_view.h"
#include "graph/waterfall_view.h"
#include "link/message_seam.h"
#include "tests/support/temp_dir.h"
#include "ui/file_dialog.h"

namespace {

constexpr int64_t kStart = 1'790'000'000;

TimeSeries HourOfRows() {
    TimeSeries series;
    series.names = {"emf_mg"};
    series.columns.assign(1, {});
    for (int64_t t = 0; t < 3600; ++t) {
        series.times.push_back(kStart + t);
        series.columns[0].push_back(static_cast<float>(t % 100));
    }
    return series;
}

SpectrumSeries MinuteOfSweeps() {
    SpectrumSeries series;
    for (int64_t t = 0; t < 60; ++t) {
        SpectrumRow row;
        row.time = kStart + t;
        for (int bin = 0; bin < kSpectrumBins; ++bin) {
            row.frequencyHz[bin] = 2400000000u + 400000u * static_cast<uint32_t>(bin);
            row.dbm[bin] = static_cast<int8_t>(-100 + (t + bin) % 60);
        }
        series.rows.push_back(row);
    }
    return series;
}

class ViewWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetMessageHandler([this](const std::string& text) { messages.push_back(text); });
    }
    void TearDown() override {
        CFileLocalDlg::SetScript(nullptr);
        SetMessageHandler(nullptr);
    }

    QWidget* Show(QWidget* view) {
        QWidget* window = ShowInViewWindow(&host, view, "/somewhere/recording.csv");
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        return window;
    }

    QPushButton* ButtonOf(QWidget* window, const char* caption) {
        for (QPushButton* button : window->findChildren<QPushButton*>())
            if (button->text() == QString::fromLatin1(caption)) return button;
        return nullptr;
    }

    // Clicks Export PNG... with the dialog answering `path`.
    void ExportTo(QWidget* window, const std::string& path) {
        CFileLocalDlg::SetScript([path](const CFileLocalDlg&) { return std::optional(path); });
        QTest::mouseClick(ButtonOf(window, kExportPngCaption), Qt::LeftButton);
    }

    QWidget host;
    TempDir dir;
    std::vector<std::string> messages;
};

TEST_F(ViewWindowTest, ATrendZoomedInShowsAllAgainAndExportsAsDrawn) {
    auto* view = new LongTermView;
    view->SetSeries(HourOfRows());
    QWidget* window = Show(view);
    const QPointF middle = view->rect().center();
    QWheelEvent wheel(middle, view->mapToGlobal(middle), {}, {0, 120 * 5}, Qt::NoButton, {},
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &wheel);
    ASSERT_LT(view->SpanEnd() - view->SpanStart(), 3599);
    QTest::mouseClick(ButtonOf(window, kShowAllCaption), Qt::LeftButton);
    EXPECT_EQ(view->SpanStart(), kStart);
    EXPECT_EQ(view->SpanEnd(), kStart + 3599);

    ExportTo(window, dir.File("trend"));  // the extension is added
    EXPECT_EQ(messages, std::vector<std::string>{kFileSaved});
    EXPECT_EQ(QImage(QString::fromStdString(dir.File("trend.png"))).size(), view->size());
}

TEST_F(ViewWindowTest, AWaterfallExportsAndAnUnwritableNameLeavesNothing) {
    auto* view = new WaterfallView;
    view->SetSeries(MinuteOfSweeps());
    QWidget* window = Show(view);
    EXPECT_EQ(ButtonOf(window, kShowAllCaption), nullptr);  // a waterfall shows all already
    ExportTo(window, dir.File("sweeps.png"));
    EXPECT_EQ(QImage(QString::fromStdString(dir.File("sweeps.png"))).size(), view->size());

    messages.clear();
    const std::string unwritable = dir.File("no-such-folder/sweeps.png");
    ExportTo(window, unwritable);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind(unwritable + ": ", 0), 0u) << messages[0];
    EXPECT_FALSE(std::filesystem::exists(dir.File("no-such-folder")));
}

}  // namespace
