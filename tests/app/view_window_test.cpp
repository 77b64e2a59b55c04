// The window around a long-term trend or a waterfall, used through its buttons as a person
// uses it, with the file dialog answering through the seam.

#include <gtest/gtest.h>

#include <QImage>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTest>
#include <QWheelEvent>
#include <filesystem>
#include <memory>

#include "app/view_window.h"
#include "graph/long_term_view.h"
#include "graph/waterfall_view.h"
#include "link/message_seam.h"
#include "tests/app/menu_clicks.h"
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
    const QImage exported(QString::fromStdString(dir.File("trend.png")));
    EXPECT_EQ(exported.width(), view->width());
    EXPECT_GT(exported.height(), view->height());  // the name and the dates above
}

TEST_F(ViewWindowTest, AWaterfallZoomedInShowsAllAgainTakesItsLevelsAndExports) {
    auto* view = new WaterfallView;
    view->SetSeries(MinuteOfSweeps());
    QWidget* window = Show(view);
    const QPointF middle = view->WaterfallArea().center();
    QWheelEvent wheel(middle, view->mapToGlobal(middle), {}, {0, 120 * 5}, Qt::NoButton, {},
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &wheel);
    ASSERT_LT(view->SweepsShown(), 60);
    QTest::mouseClick(ButtonOf(window, kShowAllCaption), Qt::LeftButton);
    EXPECT_EQ(view->SweepsShown(), 60);

    QList<QSpinBox*> levels = window->findChildren<QSpinBox*>();
    ASSERT_EQ(levels.size(), 2);  // the floor, then the ceiling
    EXPECT_EQ(levels[0]->value(), view->FloorDbm());
    levels[1]->setValue(-30);
    levels[0]->setValue(-90);
    EXPECT_EQ(view->FloorDbm(), -90);
    EXPECT_EQ(view->CeilingDbm(), -30);

    ExportTo(window, dir.File("sweeps.png"));
    const QImage exported(QString::fromStdString(dir.File("sweeps.png")));
    EXPECT_EQ(exported.width(), view->width());
    EXPECT_GT(exported.height(), view->height());
}

TEST_F(ViewWindowTest, AnUnwritableNameIsSaidOnceAndLeavesNothing) {
    auto* view = new WaterfallView;
    view->SetSeries(MinuteOfSweeps());
    QWidget* window = Show(view);
    const std::string unwritable = dir.File("no-such-folder/sweeps.png");
    ExportTo(window, unwritable);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].rfind(unwritable + ": ", 0), 0u) << messages[0];
    EXPECT_EQ(messages[0].find(unwritable, 1), std::string::npos) << messages[0];
    EXPECT_FALSE(std::filesystem::exists(dir.File("no-such-folder")));
}

// Beside the main window, each further one a step down and right, all on the screen; Esc
// closes one.
TEST_F(ViewWindowTest, ViewWindowsOpenBesideTheMainWindowAndEscClosesThem) {
    host.setGeometry(20, 20, 200, 150);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    QWidget* first = Show(new WaterfallView);
    QWidget* second = Show(new WaterfallView);
    const QRect screen = host.screen()->availableGeometry();
    for (QWidget* window : {first, second}) {
        const QRect frame = window->frameGeometry();
        EXPECT_TRUE(screen.contains(frame))
            << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
        EXPECT_FALSE(window->frameGeometry().contains(host.frameGeometry().center()));
    }
    EXPECT_NE(first->pos(), second->pos());
    QPointer<QWidget> closing(second);
    second->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(second));
    QTest::keyClick(second->focusWidget(), Qt::Key_Escape);
    EXPECT_TRUE(WaitFor([&] { return closing.isNull(); }));
    EXPECT_TRUE(first->isVisible());
}

}  // namespace
