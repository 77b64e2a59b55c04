#pragma once
// The RF waterfall as a window's view: sweeps over time (time down, frequency across, level
// as colour with its legend), from a spectrum recording or fed live; the pointer reads the
// frequency, the time and the level there. User-interface thread only.

#include <QWidget>

#include "record/recording_reader.h"

class WaterfallView : public QWidget {
    Q_OBJECT

  public:
    explicit WaterfallView(QWidget* parent = nullptr);

    void SetSeries(SpectrumSeries series);
    const SpectrumSeries& Series() const { return series_; }

    // One more accepted sweep of a live recording; the view shows all sweeps so far.
    void AppendSweep(const SpectrumRow& row);

    // "2412.0 MHz  2026-12-08 10:15:03  -61 dBm" at the pointer; empty off the sweeps.
    QString CursorText() const { return cursorText_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    int64_t SpanStart() const;
    int64_t SpanEnd() const;

    SpectrumSeries series_;
    QString cursorText_;
};
