// The long-term trend and waterfall views, acted on as a person would: wheel, drag, pointer.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QWheelEvent>

#include "graph/long_term_plot.h"
#include "graph/long_term_view.h"
#include "graph/waterfall_view.h"
#include "record/long_term.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int64_t kStart = 1796731200;

TimeSeries HourOfRows() {
    TimeSeries series;
    series.names = {"x_mg", "y_mg", "z_mg", "emf_mg", "ef_vm"};
    series.columns.assign(5, {});
    for (int64_t t = 0; t < 3600; ++t) {
        series.times.push_back(kStart + t);
        for (auto& column : series.columns)
            column.push_back(static_cast<float>(t % 100));
    }
    return series;
}

void Wheel(QWidget& widget, QPoint at, int notches) {
    QWheelEvent event(at, widget.mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&widget, &event);
}

TEST(LongTermView, WheelZoomsAroundThePointerAndDragPans) {
    LongTermView view;
    view.resize(800, 400);
    view.SetSeries(HourOfRows());
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_EQ(view.SpanStart(), kStart);
    EXPECT_EQ(view.SpanEnd(), kStart + 3599);

    const QRect area = view.PlotArea();
    const QPoint middle(area.center().x(), area.center().y());
    const int64_t pivot = TimeAtX(area, view.SpanStart(), view.SpanEnd(), middle.x());
    Wheel(view, middle, 3);
    const int64_t span = view.SpanEnd() - view.SpanStart();
    EXPECT_LT(span, 3599 * 6 / 10);
    EXPECT_LE(view.SpanStart(), pivot);
    EXPECT_GE(view.SpanEnd(), pivot);

    // Dragging to the right brings earlier times into view, the span unchanged.
    const int64_t before = view.SpanStart();
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, middle);
    QTest::mouseMove(&view, middle + QPoint(100, 0));
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, middle + QPoint(100, 0));
    EXPECT_LT(view.SpanStart(), before);
    EXPECT_EQ(view.SpanEnd() - view.SpanStart(), span);
}

TEST(LongTermView, PointerReadsTheValuesAndTheViewExports) {
    LongTermView view;
    view.resize(800, 400);
    view.SetSeries(HourOfRows());
    view.SetSpan(kStart + 1000, kStart + 1100);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const QRect area = view.PlotArea();
    // The row at 1050 s holds 50 in every trace.
    const int x = XOfTime(area, view.SpanStart(), view.SpanEnd(), kStart + 1050) + 1;
    QTest::mouseMove(&view, QPoint(x, area.center().y()));
    EXPECT_TRUE(view.CursorText().contains("EMF 50 mG")) << view.CursorText().toStdString();

    TempDir dir;
    std::string error;
    ASSERT_TRUE(view.ExportPng(dir.File("view.png"), &error)) << error;
    const QImage saved(QString::fromStdString(dir.File("view.png")));
    EXPECT_EQ(saved.size(), view.size());
}

// The read-out stands beside the pointer's line and under the caption of the panel it is in.
// Five panels of 55 px in a 300 px area with 6 px gaps start at 8, 69, 130, 191 and 252.
TEST(LongTermView, PointerReadOutStandsBesideTheLineBelowTheCaptions) {
    const QRect area(64, 8, 700, 300);  // right edge 763
    const QSize box(200, 17);
    const int caption = TrendCaptionHeight();
    const struct {
        QPoint pointer;
        QPoint topLeft;
    } cases[] = {
        {{300, 40}, {304, 32}},              // right of the line, centred on the pointer
        {{700, 40}, {496, 32}},              // left of it where the plot ends
        {{300, 70}, {304, 69 + caption}},    // on panel 2's caption: under it
        {{300, 2}, {304, 8 + caption}},      // above the panels: the first one's
        {{300, 300}, {304, 252 + 55 - 17}},  // at the bottom: inside the last panel
        {{64, 40}, {68, 32}},                // at the left edge
    };
    for (const auto& c : cases)
        EXPECT_EQ(TrendReadOutRect(area, 5, box, c.pointer), QRect(c.topLeft, box))
            << c.pointer.x() << "," << c.pointer.y();
}

// A view of the hour zoomed to 1000 .. 1100 s, shown.
class ZoomedHour : public ::testing::Test {
  protected:
    void SetUp() override {
        view.resize(800, 400);
        view.SetSeries(HourOfRows());
        view.SetSpan(kStart + 1000, kStart + 1100);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }
    // Just inside the pixel column of `second` on the plot.
    QPoint At(int64_t second) const {
        const QRect area = view.PlotArea();
        return {XOfTime(area, view.SpanStart(), view.SpanEnd(), kStart + second) + 1,
                area.center().y()};
    }
    LongTermView view;
};

TEST_F(ZoomedHour, MarkersMeasureTimeAndValuesBetweenTwoReadings) {
    EXPECT_TRUE(view.MarkerText().isEmpty());
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, At(1010));
    EXPECT_EQ(view.MarkerA(), kStart + 1010);
    EXPECT_TRUE(view.MarkerText().contains("EMF 10 mG")) << view.MarkerText().toStdString();
    QTest::mouseClick(&view, Qt::LeftButton, Qt::ShiftModifier, At(1050));
    EXPECT_EQ(view.MarkerB(), kStart + 1050);
    EXPECT_TRUE(view.MarkerText().contains(QStringLiteral("ΔT +40 s  ΔEMF +40 mG")))
        << view.MarkerText().toStdString();
    QTest::mouseClick(&view, Qt::RightButton, Qt::NoModifier, At(1005));
    EXPECT_TRUE(view.MarkerText().contains(QStringLiteral("ΔT -5 s  ΔEMF -5 mG")))
        << view.MarkerText().toStdString();
    // A press that moves pans and sets nothing.
    const QPoint from = At(1020);
    QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(&view, from + QPoint(50, 0));
    QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, from + QPoint(50, 0));
    EXPECT_LT(view.SpanStart(), kStart + 1000);
    EXPECT_EQ(view.MarkerA(), kStart + 1010);
}

TEST_F(ZoomedHour, OverviewShowsTheSpanAndAClickThereJumps) {
    const QRect strip = view.OverviewArea();
    EXPECT_GT(strip.top(), view.PlotArea().bottom());
    // The whole hour over the strip: the visible span's mark starts at 1000 / 3599 of it.
    const int markX = strip.left() + 1000 * strip.width() / 3599;
    const QImage shown = view.grab().toImage();
    EXPECT_EQ(shown.pixelColor(markX, strip.center().y()), QColor(0, 90, 200));
    const int x = strip.left() + 3000 * strip.width() / 3599;
    QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(x, strip.center().y()));
    EXPECT_EQ(view.SpanEnd() - view.SpanStart(), 100);
    EXPECT_LE(std::llabs(view.SpanStart() + 50 - (kStart + 3000)), 5);  // a column is 5 s
    EXPECT_FALSE(view.MarkerA());
}

TEST_F(ZoomedHour, KeysZoomPanAndShowAll) {
    const struct {
        Qt::Key key;
        int64_t t0, t1;  // seconds from the start
    } steps[] = {
        {Qt::Key_Plus, 1025, 1075},  {Qt::Key_Minus, 1000, 1100},
        {Qt::Key_Right, 1025, 1125}, {Qt::Key_Left, 1000, 1100},
        {Qt::Key_Home, 0, 3599},     {Qt::Key_Right, 0, 3599},  // all shown: nowhere to go
    };
    for (const auto& s : steps) {
        QTest::keyClick(&view, s.key);
        EXPECT_EQ(view.SpanStart(), kStart + s.t0) << s.key;
        EXPECT_EQ(view.SpanEnd(), kStart + s.t1) << s.key;
    }
}

TEST(LongTermView, LiveRowsAreFollowed) {
    LongTermView view;
    view.resize(800, 400);
    std::vector<FieldRow> rows;
    for (int64_t t = 0; t < 60; ++t)
        rows.push_back({kStart + t, 1, 1, 1, 2, 18});
    view.AppendFieldRows(rows);
    EXPECT_EQ(view.SpanEnd(), kStart + 59);
    view.AppendFieldRows({{kStart + 90, 1, 1, 1, 2, 18}});
    EXPECT_EQ(view.SpanEnd(), kStart + 90);
    EXPECT_EQ(view.Series().times.size(), 61u);
}

SpectrumRow SweepAt(int64_t time, int level) {
    SpectrumRow row;
    row.time = time;
    for (int bin = 0; bin < kSpectrumBins; ++bin) {
        row.frequencyHz[bin] = 863000000u + 125000u * static_cast<uint32_t>(bin);
        row.dbm[bin] = static_cast<int8_t>(level);
    }
    return row;
}

void ShowWaterfall(WaterfallView& view) {
    view.resize(700, 400);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
}

TEST(WaterfallView, PointerReadsFrequencyTimeAndLevelNewestOnTop) {
    SpectrumSeries series;
    for (int i = 0; i < 10; ++i)
        series.rows.push_back(SweepAt(kStart + i, -100 + i));
    WaterfallView view;
    view.SetSeries(series);
    ASSERT_NO_FATAL_FAILURE(ShowWaterfall(view));
    const QRect area = view.WaterfallArea();
    QTest::mouseMove(&view, area.topLeft() + QPoint(1, 1));
    EXPECT_EQ(view.CursorText().left(11), "863.000 MHz") << view.CursorText().toStdString();
    EXPECT_TRUE(view.CursorText().endsWith("-91 dBm")) << view.CursorText().toStdString();
    QTest::mouseMove(&view, area.bottomLeft() + QPoint(1, -1));
    EXPECT_TRUE(view.CursorText().endsWith("-100 dBm")) << view.CursorText().toStdString();
}

// Two sweeps in one second after an empty one are two rows of their own; only a pause on the
// recording's clock is a line across.
TEST(WaterfallView, LiveSweepsTakeRowsInOrderAndOnlyAClockPauseIsALine) {
    WaterfallView view;
    ASSERT_NO_FATAL_FAILURE(ShowWaterfall(view));
    const struct {
        int64_t time;
        int64_t clockMs;
        int level;
    } sweeps[] = {{kStart, 0, -100},
                  {kStart + 2, 1000, -90},
                  {kStart + 2, 2000, -80},
                  {kStart + 12, 12000, -70}};
    for (const auto& sweep : sweeps)
        view.AppendSweep(SweepAt(sweep.time, sweep.level), sweep.clockMs);
    view.SetLevelRange(-100, -70);
    QTest::keyClick(&view, Qt::Key_Home);
    ASSERT_EQ(view.SweepsShown(), 4);
    const QImage picture = view.Picture();
    const QRect area = view.WaterfallArea();
    const int x = area.center().x();
    const int rowHeight = area.height() / 4;
    // Newest on top, each sweep a row of its own.
    for (int slot = 0; slot < 4; ++slot) {
        const Rgb expected = ViridisColour(LevelFraction(sweeps[3 - slot].level, -100, -70));
        EXPECT_EQ(picture.pixel(x, area.top() + slot * rowHeight + rowHeight / 2),
                  qRgb(expected.r, expected.g, expected.b))
            << slot;
    }
    int pauseLines = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        pauseLines += picture.pixel(x, y) == qRgb(255, 255, 255);
    EXPECT_EQ(pauseLines, 1);
}

// Zoom, pan and Show All, by wheel, keys and drag; Ctrl works on the frequencies.
TEST(WaterfallView, ZoomsPansAndShowsAll) {
    SpectrumSeries series;
    for (int i = 0; i < 6 * 3600; ++i)
        series.rows.push_back(SweepAt(kStart + i, -100 + i % 50));
    WaterfallView view;
    view.SetSeries(series);
    ASSERT_NO_FATAL_FAILURE(ShowWaterfall(view));
    const int all = static_cast<int>(series.rows.size());
    ASSERT_EQ(view.SweepsShown(), all);
    const QPoint middle = view.WaterfallArea().center();
    Wheel(view, middle, 4);
    EXPECT_LT(view.SweepsShown(), all / 2);
    const int zoomed = view.SweepsShown();
    QTest::keyClick(&view, Qt::Key_Down);  // older
    EXPECT_LT(view.NewestShown(), all - 1);
    const int newest = view.NewestShown();
    QTest::mousePress(&view, Qt::LeftButton, {}, middle);
    QTest::mouseMove(&view, middle + QPoint(0, 40));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, middle + QPoint(0, 40));
    EXPECT_GT(view.NewestShown(), newest);  // dragged down: newer ones come in
    QTest::keyClick(&view, Qt::Key_Minus);
    EXPECT_GT(view.SweepsShown(), zoomed);
    QTest::keyClick(&view, Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_LT(view.BinsShown(), kSpectrumBins);
    QTest::keyClick(&view, Qt::Key_Right);
    EXPECT_GT(view.FirstBin(), 0);
    QTest::keyClick(&view, Qt::Key_Home);
    EXPECT_EQ(view.SweepsShown(), all);
    EXPECT_EQ(view.NewestShown(), all - 1);
    EXPECT_EQ(view.BinsShown(), kSpectrumBins);
    EXPECT_EQ(view.FirstBin(), 0);
}

}  // namespace
