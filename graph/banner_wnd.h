#pragma once
// The banner (control 1052): the product's name and version on a light-blue field, kept in
// an off-screen image and shown only when asked. The screen mirror shows the meter's
// enlarged screen in the same control until the banner is presented again.
// User-interface thread only.

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <memory>

#include "graph/offscreen_dc.h"

// Control 1052: 261 x 123 dialog units.
inline constexpr int kBannerControlWidth = 391;
inline constexpr int kBannerControlHeight = 199;
// Top-left corner of the mirrored screen image inside the control, where the banner picture
// starts too.
inline constexpr QPoint kScreenImageOrigin{3, 4};

class CBannerWnd : public QWidget {
    Q_OBJECT

  public:
    explicit CBannerWnd(QWidget* parent = nullptr);
    ~CBannerWnd() override;

    // Draws the banner picture, (cw + 1) x ch for a client area of cw x ch; nothing is shown.
    void Build();
    // Shows the banner picture (again), replacing a screen image; does nothing before Build.
    void Present();
    // Shows `screen` (the 384 x 192 mirrored screen) at kScreenImageOrigin in place of the
    // banner until the next Present.
    void ShowScreenImage(const QImage& screen);
    // Shows `text` on a blank screen area in place of the mirrored screen, so a frame that is
    // no longer live never stands there as if it were.
    void ShowNotice(const QString& text);
    bool ShowsScreen() const { return shown == Shown::Screen; }
    bool ShowsNotice() const { return shown == Shown::Notice; }

    // Null before Build, or when the picture could not be made.
    const QImage* CurrentImage() const;
    const WindowRect& ImageRect() const { return imageRect; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    enum class Shown { Nothing, Banner, Screen, Notice };

    std::unique_ptr<COffscreenDC> image;
    WindowRect imageRect;  // whole-control coordinates; its size is the picture's
    QImage screenImage;
    QString notice;
    Shown shown = Shown::Nothing;
};
