#include "ui/label_ctrl.h"

#include <gtest/gtest.h>

#include <QPalette>

#include "tests/support/pixel_checks.h"

namespace {

QFont WindowFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    font.setItalic(true);
    return font;
}

class LabelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        label.setFont(WindowFont());
        label.resize(200, 60);
    }

    CLabelCtrl label;
};

// The smallest rectangle holding every pixel that is not the background.
QRect InkBounds(const QImage& image, QRgb background) {
    QRect bounds;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (PixelAt(image, x, y) != background) bounds |= QRect(x, y, 1, 1);
    return bounds;
}

}  // namespace

TEST_F(LabelTest, StartsInTheButtonColoursWithTheWindowsFont) {
    EXPECT_EQ(label.TextColor(), label.palette().color(QPalette::ButtonText));
    EXPECT_EQ(label.BackColor(), label.palette().color(QPalette::Button));
    EXPECT_FALSE(label.IsBold());
    EXPECT_EQ(label.LabelFont(), WindowFont());
}

TEST_F(LabelTest, TerminalSettingsGiveBold24PixelArial) {
    label.SetLabelColor(QColor(0, 158, 0), false);
    label.SetLabelBold(true, false);
    label.SetLabelFont("Arial", 18, false);
    const QFont font = label.LabelFont();
    EXPECT_EQ(font.family(), QStringLiteral("Arial"));
    EXPECT_EQ(font.pixelSize(), 24);
    EXPECT_EQ(font.weight(), QFont::Bold);
    EXPECT_FALSE(font.italic());  // nothing of the window's font but what is set
    EXPECT_EQ(label.TextColor(), QColor(0, 158, 0));
}

TEST_F(LabelTest, BoldAfterFaceAndSizeFallsBackToTheWindowsFont) {
    label.SetLabelFont("Arial", 18, false);
    label.SetLabelBold(true, false);
    const QFont font = label.LabelFont();
    EXPECT_EQ(font.family(), WindowFont().family());
    EXPECT_EQ(font.pixelSize(), 11);
    EXPECT_TRUE(font.italic());
    EXPECT_EQ(font.weight(), QFont::Bold);

    label.SetLabelBold(false, false);
    EXPECT_EQ(label.LabelFont().weight(), QFont::Normal);
}

TEST_F(LabelTest, FaceNameIsCutTo31Bytes) {
    const char* face = "Abcdefghijklmnopqrstuvwxyz0123456789ABCD";  // 40 bytes
    label.SetLabelFont(face, 10, false);
    EXPECT_EQ(label.LabelFont().family(), QStringLiteral("Abcdefghijklmnopqrstuvwxyz01234"));
}

TEST_F(LabelTest, WithoutAFaceTheWindowsFontTakesTheNewSize) {
    label.SetLabelFont(nullptr, 12, false);
    const QFont font = label.LabelFont();
    EXPECT_EQ(font.family(), WindowFont().family());
    EXPECT_TRUE(font.italic());
    EXPECT_EQ(font.pixelSize(), 16);
    EXPECT_EQ(font.weight(), QFont::Normal);
}

TEST_F(LabelTest, PointsBecomeWholePixelsAt96Dpi) {
    struct Case {
        int points, pixels;
    };
    const Case cases[] = {{18, 24}, {8, 11}, {9, 12}, {10, 13}, {11, 15}, {1, 1}};
    for (const Case& c : cases) {
        label.SetLabelFont("Arial", c.points, false);
        EXPECT_EQ(label.LabelFont().pixelSize(), c.pixels) << c.points;
    }
}

// ---------------------------------------------------------------------------------------
// Painting

class LabelPaintTest : public ::testing::Test {
  protected:
    void SetUp() override {
        label.setFont(WindowFont());
        label.resize(200, 60);
    }

    QRect InkOf(const QString& text, Qt::Alignment alignment) {
        label.setText(text);
        label.setAlignment(alignment);
        return InkBounds(label.grab().toImage(), label.BackColor().rgb());
    }

    CLabelCtrl label;
};

TEST_F(LabelPaintTest, TextIsDrawnInTheTextColourOnTheBackColour) {
    label.SetLabelColor(QColor(0, 158, 0), false);
    label.SetLabelFont("DejaVu Sans", 18, false);
    label.setText("COM3");
    const QImage shown = label.grab().toImage();
    EXPECT_EQ(PixelAt(shown, 0, 0), label.BackColor().rgb());
    EXPECT_EQ(PixelAt(shown, 199, 59), label.BackColor().rgb());
    EXPECT_GT(CountColour(shown, shown.rect(), Rgb(0, 158, 0)), 20);
}

TEST_F(LabelPaintTest, PlainStyleIsLeftAlignedFromTheTop) {
    const QRect ink = InkOf("COM3", Qt::AlignLeft | Qt::AlignTop);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_LT(ink.left(), 3);
    EXPECT_LT(ink.top(), 5);
}

TEST_F(LabelPaintTest, RightAndCentredStylesMoveTheText) {
    const QRect right = InkOf("COM3", Qt::AlignRight | Qt::AlignTop);
    EXPECT_GT(right.left(), 100);
    EXPECT_GE(right.right(), 195);
    const QRect centred = InkOf("COM3", Qt::AlignHCenter | Qt::AlignTop);
    EXPECT_NEAR(centred.center().x(), 100, 4);
}

TEST_F(LabelPaintTest, VerticalCentringKeepsOneLineAndOtherwiseWordsWrap) {
    const QString words = QStringLiteral("one two three four five six seven eight nine ten");
    const QRect wrapped = InkOf(words, Qt::AlignLeft | Qt::AlignTop);
    EXPECT_GT(wrapped.height(), 13);  // more than one line of the 11-pixel font

    const QRect single = InkOf(words, Qt::AlignLeft | Qt::AlignVCenter);
    EXPECT_LE(single.height(), 13);
    EXPECT_NEAR(single.center().y(), 30, 4);
    EXPECT_GE(single.right(), 198);  // runs on past the edge rather than wrapping
}
