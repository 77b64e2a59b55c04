#pragma once
// The long-term trend as a window's view: a recording (opened or fed live) or a downloaded
// history, one panel per trace, zoomed with the mouse wheel around the pointer or with + and -,
// panned by dragging or with the arrow keys, Home showing it all; the pointer's time and the
// values there are read out beside the pointer's line, below the panels' captions, each panel
// shows the min / max / average of the visible span. Two markers measure between readings: a left
// click sets A, a right click or a shift-click B, and the line under the plot reads both and their
// difference. Below it an overview strip shows the whole series with the visible span marked; a
// click there brings that time to the middle of the view. The view exports as a PNG picture.
// User-interface thread only; a recorder hands rows over with AppendFieldRows.

#include <QImage>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "record/field_recorder.h"
#include "record/recording_reader.h"

class LongTermView : public QWidget {
    Q_OBJECT

  public:
    explicit LongTermView(QWidget* parent = nullptr);

    // Shows the whole of a series (a file's), markers cleared; the live rows of a recording
    // come after.
    void SetSeries(TimeSeries series);
    const TimeSeries& Series() const { return series_; }

    // New rows of a field recording. A view showing the newest rows keeps following them.
    void AppendFieldRows(const std::vector<FieldRow>& rows);

    // The visible span, seconds since the epoch; SetSpan clamps it to at least 10 s.
    int64_t SpanStart() const { return t0_; }
    int64_t SpanEnd() const { return t1_; }
    void SetSpan(int64_t t0, int64_t t1);
    void ShowAll();

    // Where the panels are drawn and where the overview strip is, in widget coordinates.
    QRect PlotArea() const;
    QRect OverviewArea() const;

    // "2026-12-08 10:15:03  EMF 1.2 mG  X 0.5 mG …" for the row nearest the pointer, with a
    // history's possible source at its end ("… RF 900 pW/cm²  Smart Meter"); empty
    // when the pointer is outside the plot or no row is near it.
    QString CursorText() const { return cursorText_; }

    // The markers' times (those of the rows they snapped to), and the line reading them:
    // "A 2026-12-08 10:15:03  EMF 1.2 mG …" for A alone, "A 10:15:03  B 10:20:15
    // ΔT +5:12  ΔEMF +0.3 mG …" for both; empty while neither is set.
    std::optional<int64_t> MarkerA() const { return markerA_; }
    std::optional<int64_t> MarkerB() const { return markerB_; }
    QString MarkerText() const;

    // The view as it is drawn, at the widget's size, written whole or not at all.
    bool ExportPng(const std::string& path, std::string* error) const;

  signals:
    void spanChanged(qint64 t0, qint64 t1);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    QImage Render() const;
    void DrawMarkers(QPainter& painter) const;
    void DrawMarkerLine(QPainter& painter) const;
    void DrawOverview(QPainter& painter) const;
    const QImage& OverviewTraces() const;
    void UpdateCursor(int x, int y);
    void ZoomAbout(double factor, int64_t pivot);
    void JumpTo(int overviewX);
    void PlaceMarker(std::optional<int64_t>& marker, int x);
    int PlotHeight() const;

    TimeSeries series_;
    int64_t t0_ = 0;
    int64_t t1_ = 1;
    bool pressed_ = false;  // left button down on the plot
    bool panning_ = false;  // ... and moved far enough to pan rather than click
    bool jumping_ = false;  // left button down on the overview strip
    int dragX_ = 0;
    int64_t dragT0_ = 0;
    int cursorX_ = -1;
    int cursorY_ = -1;
    QString cursorText_;
    std::optional<int64_t> markerA_;
    std::optional<int64_t> markerB_;
    // The overview's traces change only with the rows or the width: drawn once for those.
    mutable QImage overviewCache_;
    mutable std::size_t overviewRows_ = 0;
};
