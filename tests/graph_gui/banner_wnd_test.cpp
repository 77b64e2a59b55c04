#include "graph/banner_wnd.h"

#include <gtest/gtest.h>

#include "tests/support/pixel_checks.h"

namespace {

const QRgb kPaper = Rgb(180, 200, 253);
const QRgb kBlack = Rgb(0, 0, 0);

// A 391 x 199 control: client 389 x 195, picture 390 x 195 at (3, 4).
constexpr int kPictureWidth = 390;
constexpr int kPictureHeight = 195;

class BannerTest : public ::testing::Test {
  protected:
    void SetUp() override { banner.resize(kBannerControlWidth, kBannerControlHeight); }

    QImage Shown() { return banner.grab().toImage(); }

    CBannerWnd banner;
};

bool IsGreenInk(QRgb p) {
    return qGreen(p) > 100 && qRed(p) < 60 && qBlue(p) < 60;
}
bool IsDark(QRgb p) {
    return qRed(p) < 60 && qGreen(p) < 60 && qBlue(p) < 60;
}

}  // namespace

TEST_F(BannerTest, PictureIsOnePixelWiderThanTheClientArea) {
    banner.Build();
    EXPECT_EQ(banner.ImageRect(), (WindowRect{3, 4, 393, 199}));
    ASSERT_NE(banner.CurrentImage(), nullptr);
    EXPECT_EQ(banner.CurrentImage()->size(), QSize(kPictureWidth, kPictureHeight));
}

TEST_F(BannerTest, PictureIsTheProductNameOnPaperColour) {
    banner.Build();
    const QImage& picture = *banner.CurrentImage();
    EXPECT_EQ(PixelAt(picture, 0, 0), kPaper);
    EXPECT_EQ(PixelAt(picture, kPictureWidth - 1, kPictureHeight - 1), kPaper);
    EXPECT_EQ(PixelAt(picture, 5, 100), kPaper);
    // "HX", 80-pixel cell from (125, 20); "Ferrolog", 50-pixel cell from (60, 110).
    EXPECT_GT(CountPixels(picture, QRect(125, 20, 140, 80), IsGreenInk), 400);
    EXPECT_EQ(CountPixels(picture, QRect(0, 0, 120, 100), IsGreenInk), 0);
    EXPECT_GT(CountPixels(picture, QRect(60, 110, 250, 50), IsDark), 400);
    EXPECT_GT(CountPixels(picture, QRect(320, 170, 60, 18),
                          [](QRgb p) { return qBlue(p) > 200 && qRed(p) < 60; }),
              20);
    EXPECT_GT(CountColour(picture, QRect(265, 30, 30, 18), Rgb(100, 100, 100)), 10);
}

TEST_F(BannerTest, BuildShowsNothingUntilPresent) {
    banner.Build();
    EXPECT_EQ(PixelAt(Shown(), 10, 10), kBlack);
    banner.Present();
    const QImage shown = Shown();
    EXPECT_EQ(PixelAt(shown, 3, 4), kPaper);
    EXPECT_EQ(PixelAt(shown, 10, 10), kPaper);
    EXPECT_EQ(PixelAt(shown, 2, 10), kBlack);  // client area left of the picture
}

TEST_F(BannerTest, PresentBeforeBuildLeavesTheBlackControl) {
    banner.Present();
    const QImage shown = Shown();
    EXPECT_EQ(CountColour(shown, QRect(1, 2, 389, 195), kBlack), 389 * 195);
    EXPECT_EQ(banner.CurrentImage(), nullptr);
}

TEST_F(BannerTest, ScreenImageReplacesTheBannerUntilPresentedAgain) {
    banner.Build();
    banner.Present();
    QImage screen(384, 192, QImage::Format_RGB32);
    screen.fill(QColor(45, 45, 45));
    banner.ShowScreenImage(screen);

    QImage shown = Shown();
    const QPoint o = kScreenImageOrigin;
    EXPECT_EQ(CountColour(shown, QRect(o, QSize(384, 192)), Rgb(45, 45, 45)), 384 * 192);
    EXPECT_EQ(PixelAt(shown, o.x() + 384, o.y() + 10), kBlack);  // the banner is gone

    banner.Present();
    shown = Shown();
    EXPECT_EQ(PixelAt(shown, o.x(), o.y()), kPaper);
    EXPECT_EQ(PixelAt(shown, o.x() + 383, o.y() + 191), kPaper);
}
