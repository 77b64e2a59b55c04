#pragma once
// The long-term pictures: a trend of recorded or logged values over any span, one panel per
// trace, and the RF waterfall (time down, frequency across, level as colour, with its
// legend). Drawn off screen with QtGui alone, so the command-line tool and the window's views
// share them. Needs a QGuiApplication (for the font); the thread that owns it only.

#include <QImage>
#include <QPainter>
#include <QRect>
#include <cstdint>
#include <vector>

#include "record/long_term.h"

inline constexpr int kLongTermWidth = 1200;
inline constexpr int kLongTermHeight = 600;

// Where the plots sit in a picture of that size: the area between the axes' margins.
QRect TrendPlotArea(int width, int height);
QRect WaterfallPlotArea(int width, int height);

// The panel (trace index in `traces`) under y, -1 outside the panels.
int TrendPanelAt(const QRect& area, int traceCount, int y);

// The panels RenderTrendImage draws for the series when it is given no traces.
int TrendPanelCount(const TimeSeries& series);

// The height of the caption line at the top of each panel (name, unit, min / max / average).
int TrendCaptionHeight();

// Where the pointer's read-out box of `box` size goes: beside the pointer's line (right of it,
// left where the plot ends), at the pointer's height but below the caption of the panel under
// it (the first panel when it is under none), and inside the area.
QRect TrendReadOutRect(const QRect& area, int traceCount, QSize box, QPoint pointer);

// The series' columns `traces` (all when empty) over [t0, t1], each in a panel of its own
// with its name, unit and the span's min / max / average; gaps stay empty. A null image for
// an empty size or an empty span.
QImage RenderTrendImage(const TimeSeries& series, int64_t t0, int64_t t1, int width, int height,
                        const std::vector<int>& traces = {});

// The sweeps over [t0, t1] as a waterfall with its legend from the weakest to the strongest
// level drawn.
QImage RenderWaterfallImage(const SpectrumSeries& series, int64_t t0, int64_t t1, int width,
                            int height);

// The time at pixel column x of the area showing [t0, t1] (and the reverse).
int64_t TimeAtX(const QRect& area, int64_t t0, int64_t t1, int x);
int XOfTime(const QRect& area, int64_t t0, int64_t t1, int64_t time);

// The waterfalls' colour bar: its place to the right of the plot area, and the level colours
// from the strongest at the top to the weakest at the bottom.
QRect LevelColourBarBeside(const QRect& area);
void DrawLevelColourBar(QPainter& painter, const QRect& bar);
