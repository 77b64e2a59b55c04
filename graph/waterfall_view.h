#pragma once
// The RF waterfall as a window's view, from a spectrum recording or fed live: the newest sweep
// at the top and the older ones scrolling down, one row per sweep in the order they came (two
// sweeps in one second are two rows), with a line where the recording's clock shows a pause;
// the sweep at the top drawn as a trace above; level as colour between a floor and a ceiling
// (the levels seen until they are set). The wheel and + / - zoom the sweeps around the
// pointer (with Ctrl the frequencies); dragging and the arrow keys pan; Home shows all. The
// pointer's frequency, time and level are read out below the plot. User-interface thread only.

#include <QImage>
#include <QWidget>
#include <vector>

#include "record/recording_reader.h"

class WaterfallView : public QWidget {
    Q_OBJECT

  public:
    explicit WaterfallView(QWidget* parent = nullptr);

    // A file's sweeps, all on show: a step longer than the series' longestStep is a pause.
    void SetSeries(SpectrumSeries series);
    const SpectrumSeries& Series() const { return series_; }

    // One more sweep of a live recording, seen at clockMs on the recording's clock (where
    // pauses are found, as a file's are: a step well past the usual one). A view showing the
    // newest sweep keeps showing it.
    void AppendSweep(const SpectrumRow& row, int64_t clockMs);

    // What is on show: the sweep at the top row (an index into Series().rows), how many rows
    // the height holds, and the bins across.
    int NewestShown() const { return newest_; }
    int SweepsShown() const { return count_; }
    int FirstBin() const { return firstBin_; }
    int BinsShown() const { return bins_; }
    void ShowAll();

    // Levels at the floor and below are the scale's first colour, at the ceiling and above
    // its last; once set, they stay as set.
    void SetLevelRange(int floorDbm, int ceilingDbm);
    int FloorDbm() const { return floor_; }
    int CeilingDbm() const { return ceiling_; }

    // The waterfall and the trace, in widget coordinates.
    QRect WaterfallArea() const;
    QRect TraceArea() const;

    // "2412.000 MHz  2026-12-08 10:15:03  -61 dBm" at the pointer; empty off the sweeps.
    QString CursorText() const { return cursorText_; }

    // The view as drawn, without the pointer's readout; its first and last time on show.
    QImage Picture() const;
    std::pair<int64_t, int64_t> TimesShown() const;

  signals:
    void levelRangeChanged(int floorDbm, int ceilingDbm);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    int SweepCount() const { return static_cast<int>(series_.rows.size()); }
    void Show(int newest, int count, int firstBin, int bins);
    void ZoomSweeps(double factor, int pivotRow);
    void ZoomBins(double factor, int pivotColumn);
    void TakeLevels(const SpectrumRow& row);
    bool PauseBefore(int sweep) const;
    void UpdateCursor(QPoint at);
    void DrawWaterfall(QImage& image, const QRect& area) const;
    void DrawTrace(QPainter& painter, const QRect& area) const;
    void DrawFrequencies(QPainter& painter, const QRect& area) const;
    void DrawTimes(QPainter& painter, const QRect& area) const;
    void DrawPauses(QPainter& painter, const QRect& area) const;
    void DrawLegend(QPainter& painter, const QRect& area) const;

    SpectrumSeries series_;
    std::vector<int64_t> clockMs_;  // per sweep, on the recording's clock
    std::vector<int64_t> stepsMs_;  // between sweeps, for the usual step of a live recording
    int64_t pauseMs_ = 1000;        // a longer step is a pause
    int newest_ = -1;
    int count_ = 1;
    int firstBin_ = 0;
    int bins_ = kSpectrumBins;
    bool levelsSet_ = false;
    int floor_ = -100;
    int ceiling_ = -40;
    int weakestSeen_ = 0;
    int strongestSeen_ = -128;
    bool dragging_ = false;
    QPoint dragFrom_;
    int dragNewest_ = 0;
    int dragFirstBin_ = 0;
    QString cursorText_;
};
