#pragma once
// The long-term trend as a window's view: a recording (opened or fed live) or a downloaded
// history, one panel per trace, zoomed with the mouse wheel around the pointer and panned by
// dragging; the pointer's time and the values there are read out at the top, each panel shows
// the min / max / average of the visible span, and the view exports as a PNG picture.
// User-interface thread only; a recorder hands rows over with AppendFieldRows.

#include <QWidget>
#include <string>
#include <vector>

#include "record/field_recorder.h"
#include "record/recording_reader.h"

class LongTermView : public QWidget {
    Q_OBJECT

  public:
    explicit LongTermView(QWidget* parent = nullptr);

    // Shows the whole of a series (a file's); the live rows of a recording come after.
    void SetSeries(TimeSeries series);
    const TimeSeries& Series() const { return series_; }

    // New rows of a field recording. A view showing the newest rows keeps following them.
    void AppendFieldRows(const std::vector<FieldRow>& rows);

    // The visible span, seconds since the epoch; SetSpan clamps it to at least 10 s.
    int64_t SpanStart() const { return t0_; }
    int64_t SpanEnd() const { return t1_; }
    void SetSpan(int64_t t0, int64_t t1);
    void ShowAll();

    // "2026-12-08 10:15:03  EMF 1.2 mG  X 0.5 mG …" for the row nearest the pointer, with a
    // history's possible source at its end ("… RF 900 pW/cm²  Smart Meter"); empty
    // when the pointer is outside the plot or no row is near it.
    QString CursorText() const { return cursorText_; }

    // The view as it is drawn, at the widget's size, written whole or not at all.
    bool ExportPng(const std::string& path, std::string* error) const;

  signals:
    void spanChanged(qint64 t0, qint64 t1);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    QImage Render() const;
    void UpdateCursor(int x, int y);

    TimeSeries series_;
    int64_t t0_ = 0;
    int64_t t1_ = 1;
    bool dragging_ = false;
    int dragX_ = 0;
    int64_t dragT0_ = 0;
    int cursorX_ = -1;
    QString cursorText_;
};
