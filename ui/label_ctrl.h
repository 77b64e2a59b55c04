#pragma once
// A text label with its own font, text colour and background colour (the terminal's port
// line). Its font is built from the widget's own font, which stays untouched, so the setters
// can always start again from it. The style is QLabel's alignment: horizontally centred,
// right or left; vertically centred means a single line, anything else wraps words from the
// top. User-interface thread only.

#include <QColor>
#include <QFont>
#include <QLabel>

class CLabelCtrl : public QLabel {
    Q_OBJECT

  public:
    explicit CLabelCtrl(QWidget* parent = nullptr);
    explicit CLabelCtrl(const QString& text, QWidget* parent = nullptr);
    ~CLabelCtrl() override;

    void SetLabelColor(QColor colour, bool redraw);
    // Rebuilds the font from the widget's own font with the weight set, losing any face and
    // size set before.
    void SetLabelBold(bool bold, bool redraw);
    // With a face (at most its first 31 bytes are used): that face and nothing else of the
    // old font. Without one: the widget's own font. Either way at `points` points on a
    // 96-dpi display, rounded to whole pixels (18 points: 24 pixels), bold if set.
    void SetLabelFont(const char* face, int points, bool redraw);

    QColor TextColor() const { return textColor; }
    QColor BackColor() const { return backColor; }
    bool IsBold() const { return bold; }
    // The font the text is drawn with: until a setter runs, the widget's own font as it was
    // when the label first painted.
    QFont LabelFont() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void RebuildFont(QFont description, bool redraw);
    int TextFlags() const;

    QFont labelFont;
    QColor textColor;
    QColor backColor;
    bool bold = false;
    bool fontReady = false;
};
