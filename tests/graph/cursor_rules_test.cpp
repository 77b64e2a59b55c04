#include <gtest/gtest.h>

#include "graph/plot_geometry.h"

namespace {

constexpr int kWidth = 545;
constexpr int kHeight = 280;

TEST(CursorRules, ColumnRoundsUpFromTheLastPixel) {
    const struct {
        int x, column;
    } cases[] = {{440, 110}, {441, 110}, {442, 110}, {443, 111}, {0, 0}, {2, 0}, {3, 1}, {12, 3}};
    for (const auto& c : cases)
        EXPECT_EQ(CursorColumnFor(c.x), c.column) << c.x;
}

TEST(CursorRules, BoundsExcludeFourPixelsAtEachEdge) {
    const struct {
        int x, y;
        bool inside;
    } cases[] = {
        {4, 100, false}, {5, 100, true}, {540, 100, true}, {541, 100, false},
        {100, 4, false}, {100, 5, true}, {100, 275, true}, {100, 276, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsInsideBounds(c.x, c.y, kWidth, kHeight), c.inside) << c.x << "," << c.y;
    // Before the first image the rectangle is empty and nothing is inside.
    EXPECT_FALSE(IsInsideBounds(440, 64, 0, 0));
}

TEST(CursorRules, PressStartsADragAndMovesTheCursorOnlyInside) {
    CursorState cursor;
    EXPECT_FALSE(PressCursor(cursor, 3, 100, kWidth, kHeight));
    EXPECT_TRUE(cursor.Dragging);
    EXPECT_EQ(cursor.CursorPoint, (GraphPoint{440, 64}));
    EXPECT_EQ(cursor.CursorBin, 110);

    EXPECT_TRUE(PressCursor(cursor, 443, 90, kWidth, kHeight));
    EXPECT_EQ(cursor.CursorPoint, (GraphPoint{443, 90}));
    EXPECT_EQ(cursor.CursorBin, 111);
    EXPECT_EQ(cursor.CursorRow, 90);

    // A drag that reaches the edge keeps the last inside point.
    EXPECT_TRUE(DragCursor(cursor, 310, 110, kWidth, kHeight));
    EXPECT_TRUE(DragCursor(cursor, 543, 110, kWidth, kHeight));
    EXPECT_EQ(cursor.CursorPoint, (GraphPoint{310, 110}));
    cursor.Dragging = false;
    EXPECT_FALSE(DragCursor(cursor, 300, 100, kWidth, kHeight));
    EXPECT_EQ(cursor.CursorPoint, (GraphPoint{310, 110}));
}

TEST(CursorRules, RefreshPlacementLeavesCursorPointAlone) {
    CursorState cursor;
    // The start-up refresh finds no image yet and changes nothing.
    EXPECT_FALSE(PlaceCursor(cursor, 440, 64, 0, 0));
    EXPECT_EQ(cursor.CursorRow, 125);
    EXPECT_TRUE(PlaceCursor(cursor, 440, 64, kWidth, kHeight));
    EXPECT_EQ(cursor.CursorBin, 110);
    EXPECT_EQ(cursor.CursorRow, 64);
    EXPECT_TRUE(PlaceCursor(cursor, 200, 100, kWidth, kHeight));
    EXPECT_EQ(cursor.CursorPoint, (GraphPoint{440, 64}));
}

TEST(CursorRules, DoubleArrowWithinNinePixelsOfTheTimeLine) {
    CursorState cursor;  // CursorPoint.x 440, not dragging
    const struct {
        int x, shape;
    } cases[] = {{430, kPointerArrow},
                 {431, kPointerSizeWE},
                 {440, kPointerSizeWE},
                 {449, kPointerSizeWE},
                 {450, kPointerArrow}};
    for (const auto& c : cases)
        EXPECT_EQ(PointerShapeFor(c.x, cursor, true), c.shape) << c.x;
}

TEST(CursorRules, NoDoubleArrowForATimeLineOffTheSpan) {
    for (int lineX : {85, 441}) {
        CursorState cursor;
        cursor.CursorPoint = {lineX, 64};
        for (int x = lineX - 12; x <= lineX + 12; ++x)
            EXPECT_EQ(PointerShapeFor(x, cursor, true), kPointerArrow) << lineX << " " << x;
    }
}

TEST(CursorRules, DraggingShowsTheDoubleArrowAcrossTheSpan) {
    CursorState cursor;
    cursor.Dragging = true;
    EXPECT_EQ(PointerShapeFor(86, cursor, true), kPointerSizeWE);
    EXPECT_EQ(PointerShapeFor(200, cursor, true), kPointerSizeWE);
    EXPECT_EQ(PointerShapeFor(85, cursor, true), kPointerArrow);
    EXPECT_EQ(PointerShapeFor(441, cursor, true), kPointerArrow);
}

TEST(CursorRules, SpectrumKeepsALeftoverDoubleArrowNearTheLine) {
    CursorState cursor;
    cursor.PointerShape = kPointerSizeWE;
    EXPECT_EQ(PointerShapeFor(435, cursor, false), kPointerSizeWE);
    EXPECT_EQ(PointerShapeFor(300, cursor, false), kPointerArrow);
    cursor.PointerShape = kPointerArrow;
    EXPECT_EQ(PointerShapeFor(435, cursor, false), kPointerArrow);
}

TEST(CursorRules, TimeLineSampleFromItsX) {
    const struct {
        int x, k;
    } cases[] = {{85, 0},   {86, 1},   {87, 1},   {88, 1},  {89, 2},
                 {434, 59}, {437, 60}, {440, 60}, {441, 0}, {0, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(TrendCursorSample(c.x), c.k) << c.x;
}

}  // namespace
