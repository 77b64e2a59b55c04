#include "graph/graph_window.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "measure/measurement.h"
#include "tests/support/pixel_checks.h"

namespace {

const QRgb kWhite = Rgb(255, 255, 255);
const QRgb kGrid = Rgb(200, 200, 200);
const QRgb kBaseline = Rgb(155, 100, 100);
const QRgb kAxis = Rgb(125, 125, 125);

// A 547 x 284 control: client 545 x 280, image 546 x 281.
constexpr int kImageWidth = 546;
constexpr int kImageHeight = 281;

const QRgb kCursorInk = Rgb(255, 0, 0);

struct PainterLog {
    int traces = 0;
    int annotations = 0;
    CursorState cursorAtAnnotations;
    int width = 0;
    int height = 0;
};

class RecordingPainter : public PlotPainter {
  public:
    explicit RecordingPainter(PainterLog& log) : log(log) {}
    void DrawTraces(COffscreenDC&, const PlotContext& plot) override {
        ++log.traces;
        log.width = plot.width;
        log.height = plot.height;
    }
    // Marks the cursor point, so a grab shows where the cursor stood.
    void DrawAnnotations(COffscreenDC& dc, const PlotContext& plot) override {
        ++log.annotations;
        log.cursorAtAnnotations = plot.cursor;
        const GraphPoint at = plot.cursor.CursorPoint;
        dc.FillRect(at.x, at.y, at.x + 1, at.y + 1, QColor(kCursorInk));
    }

  private:
    PainterLog& log;
};

class GraphWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window = std::make_unique<CGraphWnd>(shown);
        window->resize(kGraphControlWidth, kGraphControlHeight);
        window->SetSpectrumPainter(std::make_unique<RecordingPainter>(spectrumLog));
        window->SetTrendPainter(std::make_unique<RecordingPainter>(trendLog));
    }

    void Show() {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // Mouse events go through the window system, so Qt's own press-to-release grab applies.
    QWindow* Handle() const { return window->windowHandle(); }
    QPoint AtClient(int x, int y) const { return window->ClientOrigin() + QPoint(x, y); }
    void Press(int x, int y) { QTest::mousePress(Handle(), Qt::LeftButton, {}, AtClient(x, y)); }
    void Release(int x, int y) {
        QTest::mouseRelease(Handle(), Qt::LeftButton, {}, AtClient(x, y));
    }
    void Move(int x, int y) { QTest::mouseMove(Handle(), AtClient(x, y)); }
    void Click(int x, int y) {
        Press(x, y);
        Release(x, y);
    }

    qint64 ImageKey() const { return window->CurrentImage()->cacheKey(); }
    // What the last repaint copied to the screen, not a fresh render of the widget.
    QRgb OnScreenAt(int x, int y) const {
        QCoreApplication::processEvents();
        return PixelAt(window->screen()->grabWindow(window->winId()).toImage(), 3 + x, 3 + y);
    }

    PlotReading shown;  // before the window, which reads it
    PainterLog spectrumLog;
    PainterLog trendLog;
    std::unique_ptr<CGraphWnd> window;
};

struct PixelCase {
    int x, y;
    QRgb colour;
};

void ExpectPixels(const QImage& image, std::initializer_list<PixelCase> cases) {
    for (const PixelCase& c : cases)
        EXPECT_EQ(PixelAt(image, c.x, c.y), c.colour) << "at (" << c.x << ", " << c.y << ")";
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Image and grid

TEST_F(GraphWindowTest, ImageIsOnePixelLargerThanTheClientAreaEachWay) {
    window->RenderAll();
    EXPECT_EQ(window->ClientOrigin(), QPoint(1, 2));
    EXPECT_EQ(window->ImageRect(), (WindowRect{3, 3, 549, 284}));
    ASSERT_NE(window->CurrentImage(), nullptr);
    EXPECT_EQ(window->CurrentImage()->size(), QSize(kImageWidth, kImageHeight));
    EXPECT_EQ(spectrumLog.width, kImageWidth);
    EXPECT_EQ(spectrumLog.height, kImageHeight);
}

TEST_F(GraphWindowTest, ResizedWindowGetsItsImageSizeAtTheNextRedraw) {
    window->RenderAll();
    window->resize(300, 200);
    EXPECT_EQ(window->CurrentImage()->size(), QSize(kImageWidth, kImageHeight));
    window->RenderAll();
    EXPECT_EQ(window->ImageRect(), (WindowRect{3, 3, 302, 200}));
    EXPECT_EQ(window->CurrentImage()->size(), QSize(299, 197));
}

TEST_F(GraphWindowTest, SpectrumGridIs20PixelSquaresWithABaselineOverRows239And240) {
    window->RenderAll();
    const QImage& image = *window->CurrentImage();
    ExpectPixels(
        image,
        {
            {0, 0, kGrid},        {20, 7, kGrid},        {7, 20, kGrid},      {540, 7, kGrid},
            {7, 280, kGrid},      {7, 7, kWhite},        {545, 7, kWhite},    {19, 7, kWhite},
            {21, 7, kWhite},      {0, 239, kBaseline},   {7, 239, kBaseline}, {7, 240, kBaseline},
            {20, 240, kBaseline}, {545, 240, kBaseline}, {7, 238, kWhite},    {7, 241, kWhite},
            {20, 241, kGrid},     {20, 238, kGrid},      {7, 125, kWhite},    {7, 250, kWhite},
        });
    EXPECT_EQ(CountColour(image, QRect(0, 239, kImageWidth, 2), kBaseline), 2 * kImageWidth);
}

TEST_F(GraphWindowTest, FieldGridHasFourPixelAxesAtRows125And250) {
    shown.measurement.kind = kKindField;
    window->RenderAll();
    const QImage& image = *window->CurrentImage();
    ExpectPixels(image, {
                            {7, 122, kWhite},
                            {7, 123, kAxis},
                            {7, 124, kAxis},
                            {7, 125, kAxis},
                            {7, 126, kAxis},
                            {7, 127, kWhite},
                            {7, 247, kWhite},
                            {7, 248, kAxis},
                            {7, 251, kAxis},
                            {7, 252, kWhite},
                            {0, 125, kAxis},
                            {545, 251, kAxis},
                            {7, 120, kGrid},
                            {20, 122, kGrid},
                            {7, 239, kWhite},
                            {7, 240, kGrid},
                        });
    EXPECT_EQ(CountColour(image, QRect(0, 123, kImageWidth, 4), kAxis), 4 * kImageWidth);
}

TEST_F(GraphWindowTest, PaintCopiesTheImageToThreeThreeInsideTheFrame) {
    window->RenderAll();
    const QImage shown = window->grab().toImage();
    ExpectPixels(shown, {
                            {0, 0, Rgb(0, 0, 0)},        // border
                            {1, 1, Rgb(128, 128, 128)},  // shadow row
                            {3 + 20, 3 + 7, kGrid},
                            {3 + 7, 3 + 7, kWhite},
                            {3 + 7, 3 + 239, kBaseline},
                            {546, 3 + 7, kWhite},  // the image runs over the right edge
                        });
}

TEST_F(GraphWindowTest, MeasurementKindChoosesThePainter) {
    struct Case {
        uint8_t kind;
        int spectrumCalls, trendCalls;
    };
    const Case cases[] = {{kKindSpectrum, 1, 0}, {kKindField, 0, 1}, {7, 1, 0}};
    for (const Case& c : cases) {
        spectrumLog = {};
        trendLog = {};
        shown.measurement.kind = c.kind;
        window->RenderAll();
        EXPECT_EQ(spectrumLog.traces, c.spectrumCalls) << int(c.kind);
        EXPECT_EQ(spectrumLog.annotations, c.spectrumCalls) << int(c.kind);
        EXPECT_EQ(trendLog.traces, c.trendCalls) << int(c.kind);
        EXPECT_EQ(trendLog.annotations, c.trendCalls) << int(c.kind);
    }
}

TEST_F(GraphWindowTest, AReadingBeforeItsFirstFetchLiesFlatAtMinus128) {
    for (int8_t level : shown.measurement.spectrum.dbm)
        EXPECT_EQ(level, -128);
}

TEST_F(GraphWindowTest, StatusTextIsDrawnIntoTheImageOnlyWhenThereIsOne) {
    window->DrawStatusText("...", 55, 70);  // no image yet: nothing to draw into
    EXPECT_EQ(window->CurrentImage(), nullptr);

    window->RenderAll();
    window->DrawStatusText("Please wait...", 173, 140);
    const QImage& image = *window->CurrentImage();
    const int advance =
        QFontMetrics(COffscreenDC::SystemFont()).horizontalAdvance("Please wait...");
    EXPECT_GT(CountColour(image, QRect(173, 140, advance, 13), Rgb(0, 0, 0)), 30);
    // The opaque cell hides the grid line at x = 180.
    EXPECT_EQ(PixelAt(image, 180, 140), kWhite);
}

// ---------------------------------------------------------------------------------------
// Start-up and refresh

TEST_F(GraphWindowTest, RefreshBeforeRenderAllPresentsNothing) {
    window->Refresh();
    EXPECT_EQ(window->CurrentImage(), nullptr);
    EXPECT_EQ(window->ImageRect(), WindowRect{});
    EXPECT_EQ(window->Cursor().CursorBin, 110);
    EXPECT_EQ(window->Cursor().CursorRow, 125);
    EXPECT_EQ(spectrumLog.traces, 0);
    EXPECT_EQ(PixelAt(window->grab().toImage(), 3 + 20, 3 + 7), kWhite);
}

TEST_F(GraphWindowTest, FirstPictureUsesTheInitialCursorAndRefreshTakesCursorPoint) {
    window->RenderAll();
    EXPECT_EQ(spectrumLog.cursorAtAnnotations.CursorBin, 110);
    EXPECT_EQ(spectrumLog.cursorAtAnnotations.CursorRow, 125);

    window->Refresh();
    EXPECT_EQ(spectrumLog.annotations, 2);
    EXPECT_EQ(spectrumLog.cursorAtAnnotations.CursorBin, 110);
    EXPECT_EQ(spectrumLog.cursorAtAnnotations.CursorRow, 64);
    EXPECT_EQ(window->Cursor().CursorPoint, (GraphPoint{440, 64}));
}

TEST_F(GraphWindowTest, MoveCursorToOutsideTheBoundsKeepsTheImage) {
    window->RenderAll();
    const qint64 key = ImageKey();
    window->MoveCursorTo(4, 100);
    EXPECT_EQ(ImageKey(), key);
    EXPECT_EQ(window->Cursor().CursorRow, 125);
    window->MoveCursorTo(5, 100);
    EXPECT_NE(ImageKey(), key);
    EXPECT_EQ(window->Cursor().CursorRow, 100);
    EXPECT_EQ(window->Cursor().CursorBin, 1);
    EXPECT_EQ(window->Cursor().CursorPoint, (GraphPoint{440, 64}));  // the caller's to set
}

// ---------------------------------------------------------------------------------------
// Press, drag and release

TEST_F(GraphWindowTest, PressInsideShowsTheImageAroundTheNewCursor) {
    Show();
    window->RenderAll();
    const qint64 key = ImageKey();
    Press(100, 50);
    EXPECT_TRUE(window->Cursor().Dragging);
    EXPECT_EQ(window->Cursor().CursorPoint, (GraphPoint{100, 50}));
    EXPECT_EQ(window->Cursor().CursorRow, 50);
    EXPECT_EQ(window->Cursor().CursorBin, 25);
    EXPECT_EQ(spectrumLog.traces, 2);
    EXPECT_EQ(spectrumLog.cursorAtAnnotations.CursorRow, 50);
    EXPECT_NE(ImageKey(), key);
    EXPECT_EQ(OnScreenAt(100, 50), kCursorInk);  // repainted at once
    Release(100, 50);
    EXPECT_FALSE(window->Cursor().Dragging);
}

TEST_F(GraphWindowTest, PressNearTheEdgeStartsADragButMovesNothing) {
    Show();
    window->RenderAll();
    // W - 4 = 542 and H - 4 = 277 are outside; 5 and 541, 276 are the last inside.
    const QPoint outside[] = {{4, 50}, {50, 4}, {542, 50}, {50, 277}, {0, 0}};
    for (QPoint p : outside) {
        window->Cursor() = CursorState{};
        const qint64 key = ImageKey();
        Press(p.x(), p.y());
        EXPECT_TRUE(window->Cursor().Dragging) << p.x() << "," << p.y();
        EXPECT_EQ(window->Cursor().CursorPoint, (GraphPoint{440, 64})) << p.x() << "," << p.y();
        EXPECT_EQ(window->Cursor().CursorRow, 125);
        EXPECT_EQ(ImageKey(), key) << p.x() << "," << p.y();
        Release(p.x(), p.y());
    }
    EXPECT_EQ(spectrumLog.traces, 1);

    const QPoint inside[] = {{5, 5}, {541, 276}};
    for (QPoint p : inside) {
        Click(p.x(), p.y());
        EXPECT_EQ(window->Cursor().CursorPoint, (GraphPoint{p.x(), p.y()}));
    }
}

TEST_F(GraphWindowTest, PressOnTheFrameIsNoPress) {
    Show();
    window->RenderAll();
    QTest::mousePress(Handle(), Qt::LeftButton, {}, QPoint(0, 100));
    EXPECT_FALSE(window->Cursor().Dragging);
    QTest::mouseRelease(Handle(), Qt::LeftButton, {}, QPoint(0, 100));
}

TEST_F(GraphWindowTest, CursorColumnRoundsUpFromThreeQuarters) {
    Show();
    window->RenderAll();
    struct Case {
        int x, bin;
    };
    const Case cases[] = {{440, 110}, {441, 110}, {442, 110}, {443, 111},
                          {444, 111}, {10, 2},    {11, 3}};
    for (const Case& c : cases) {
        Click(c.x, 100);
        EXPECT_EQ(window->Cursor().CursorBin, c.bin) << c.x;
        EXPECT_EQ(spectrumLog.cursorAtAnnotations.CursorBin, c.bin) << c.x;
    }
}

TEST_F(GraphWindowTest, DragToTheEdgeKeepsTheLastInsidePoint) {
    Show();
    window->RenderAll();
    Press(300, 100);
    Move(400, 120);
    EXPECT_EQ(window->Cursor().CursorPoint, (GraphPoint{400, 120}));
    EXPECT_EQ(window->Cursor().CursorBin, 100);
    EXPECT_EQ(window->Cursor().CursorRow, 120);

    const qint64 key = ImageKey();
    Move(543, 130);
    EXPECT_EQ(window->Cursor().CursorPoint, (GraphPoint{400, 120}));
    EXPECT_EQ(window->Cursor().CursorRow, 120);
    EXPECT_EQ(ImageKey(), key);

    Release(543, 130);
    EXPECT_FALSE(window->Cursor().Dragging);
    window->Refresh();
    EXPECT_EQ(window->Cursor().CursorBin, 100);
    EXPECT_EQ(window->Cursor().CursorRow, 120);
}

TEST_F(GraphWindowTest, MovesWithoutADragLeaveTheCursor) {
    Show();
    window->RenderAll();
    Move(200, 90);
    Move(210, 95);
    EXPECT_EQ(window->Cursor().CursorPoint, (GraphPoint{440, 64}));
    EXPECT_EQ(spectrumLog.traces, 1);
}

TEST_F(GraphWindowTest, ReleaseOffTheWindowLeavesTheDragOn) {
    Show();
    window->RenderAll();
    Press(300, 100);
    QTest::mouseRelease(Handle(), Qt::LeftButton, {}, QPoint(700, 100));
    EXPECT_TRUE(window->Cursor().Dragging);

    Move(200, 90);  // no button held, yet the cursor follows
    EXPECT_EQ(window->Cursor().CursorPoint, (GraphPoint{200, 90}));

    Click(210, 90);
    EXPECT_FALSE(window->Cursor().Dragging);
    Move(250, 90);
    EXPECT_EQ(window->Cursor().CursorPoint, (GraphPoint{210, 90}));
}

TEST_F(GraphWindowTest, MovesOffTheWindowDuringADragAreNotSeen) {
    Show();
    shown.measurement.kind = kKindField;
    window->RenderAll();
    Press(300, 100);
    Move(305, 100);
    EXPECT_EQ(window->Cursor().PointerShape, kPointerSizeWE);
    // Over another window the pointer shape is that window's business: nothing changes here.
    QTest::mouseMove(Handle(), QPoint(700, 100));
    EXPECT_EQ(window->Cursor().PointerShape, kPointerSizeWE);
    EXPECT_EQ(window->Cursor().CursorPoint, (GraphPoint{305, 100}));
    Release(305, 100);
}

// ---------------------------------------------------------------------------------------
// Pointer shape

TEST_F(GraphWindowTest, DoubleArrowShowsWithinNinePixelsOfTheTimeLine) {
    Show();
    window->RenderAll();
    shown.measurement.kind = kKindField;
    struct Case {
        int cursorX, pointerX;
        bool doubleArrow;
    };
    const Case cases[] = {
        {440, 430, false}, {440, 431, true}, {440, 440, true}, {440, 449, true},
        {440, 450, false}, {85, 85, false},  {85, 80, false},  {441, 441, false},
        {441, 435, false}, {86, 86, true},   {86, 95, true},   {86, 96, false},
    };
    for (const Case& c : cases) {
        window->Cursor().CursorPoint = {c.cursorX, 64};
        Move(c.pointerX, 150);
        EXPECT_EQ(window->Cursor().PointerShape, c.doubleArrow ? kPointerSizeWE : kPointerArrow)
            << c.cursorX << " " << c.pointerX;
        EXPECT_EQ(window->cursor().shape(), c.doubleArrow ? Qt::SizeHorCursor : Qt::ArrowCursor)
            << c.cursorX << " " << c.pointerX;
    }
}

TEST_F(GraphWindowTest, WhileDraggingTheDoubleArrowFollowsThePointerOverTheSpan) {
    Show();
    shown.measurement.kind = kKindField;
    window->RenderAll();
    Press(300, 100);
    Move(305, 100);
    EXPECT_EQ(window->cursor().shape(), Qt::SizeHorCursor);
    Move(445, 100);
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
    Release(445, 100);
}

TEST_F(GraphWindowTest, SpectrumKeepsADoubleArrowLeftFromTheTrendUntilThePointerLeaves) {
    Show();
    window->RenderAll();
    shown.measurement.kind = kKindSpectrum;
    Move(440, 150);
    EXPECT_EQ(window->Cursor().PointerShape, kPointerArrow);

    shown.measurement.kind = kKindField;
    Move(441, 150);
    EXPECT_EQ(window->Cursor().PointerShape, kPointerSizeWE);
    shown.measurement.kind = kKindSpectrum;
    Move(445, 150);
    EXPECT_EQ(window->Cursor().PointerShape, kPointerSizeWE);
    Move(460, 150);
    EXPECT_EQ(window->Cursor().PointerShape, kPointerArrow);
    Move(440, 150);
    EXPECT_EQ(window->Cursor().PointerShape, kPointerArrow);
    EXPECT_EQ(window->cursor().shape(), Qt::ArrowCursor);
}
