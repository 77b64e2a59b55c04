#pragma once
// Where the graph puts things, without a window: the fixed layout of the off-screen image,
// the cursor rules, the spectrum's scale, bin frequencies and texts, and the field trend's
// scales. Coordinates are pixels of the image, origin top-left, y downwards; they do not
// scale with the window. Everything here runs on the user-interface thread.

#include <cstdint>
#include <string>

#include "measure/measurement.h"

// Layout shared by both plots.
inline constexpr int BinOrigin = 3;        // bin i is drawn in column BinOrigin + i
inline constexpr int BinPitch = 4;         // pixels per spectrum column: bins at x = 12..520
inline constexpr int TrendOrigin = 80;     // x of "60 sec ago"
inline constexpr int SamplePitch = 6;      // pixels per field sample: samples at x = 86..440
inline constexpr int UpperAxisY = 125;     // upper trend axis line
inline constexpr int LowerAxisY = 250;     // lower trend axis line
inline constexpr int MagneticBaseY = 115;  // a magnetic trace at its minimum
inline constexpr int EfBaseY = 240;        // the EF trace at its minimum
inline constexpr int kSpectrumBaseY = 240;
inline constexpr int kSpectrumFullScale = 180;  // pixels from the lowest to the highest level
inline constexpr int kGridStep = 20;
inline constexpr int kBoundsMargin = 4;  // presses this close to the edge are ignored

// System pointer ids the window shows.
inline constexpr int kPointerArrow = 32512;   // IDC_ARROW
inline constexpr int kPointerSizeWE = 32644;  // IDC_SIZEWE, "drag the time line"

struct GraphPoint {
    int x;
    int y;
    bool operator==(const GraphPoint&) const = default;
};

// ---------------------------------------------------------------------------------------
// Cursor

// One for each graph window, which owns it. It survives changes of the plot kind: the
// same CursorPoint places the field time line and, through a refresh, the spectrum
// crosshair.
struct CursorState {
    GraphPoint CursorPoint{440, 64};  // last accepted pointer position; BinPitch * 110
    int CursorBin = 110;              // crosshair column; its line is at x = 4 * CursorBin
    int CursorRow = 125;              // y of the crosshair's horizontal line
    bool Dragging = false;            // from a press on the graph until a release over it
    int PointerShape = kPointerArrow;
};

// Nearest column of BinPitch pixels, rounding up from x mod 4 == 3: 441, 442 -> 110; 443 -> 111.
int CursorColumnFor(int x);

// 4 < x < width - 4 and 4 < y < height - 4, width and height those of the image.
bool IsInsideBounds(int x, int y, int width, int height);

// Sets CursorRow = y and CursorBin from x (not CursorPoint) when (x, y) is inside; returns
// whether it was, i.e. whether the image is to be rebuilt before it is presented.
bool PlaceCursor(CursorState& cursor, int x, int y, int width, int height);

// Left-button press: starts dragging wherever it is; inside the bounds it also moves
// CursorPoint and places the cursor. Returns whether the image is to be rebuilt.
bool PressCursor(CursorState& cursor, int x, int y, int width, int height);

// First step of a mouse move: while dragging, an inside point becomes CursorPoint. Returns
// whether the window then moves the cursor to (x, y) (i.e. whether a drag is on).
bool DragCursor(CursorState& cursor, int x, int y, int width, int height);

// Pointer shape after a move to x, read after DragCursor. On the field trend the double
// arrow shows within 9 pixels of the time line (always while dragging) if that line lies
// on the 60-second span; on the spectrum a double arrow left from the trend persists there.
int PointerShapeFor(int x, const CursorState& cursor, bool fieldTrend);

// ---------------------------------------------------------------------------------------
// Spectrum plot

// The walk over the 128 levels, dBm. average = sum / 128 truncated toward zero.
struct SpectrumStats {
    int maximum;
    int minimum;
    int average;
};

SpectrumStats MeasureSpectrum(const SpectrumLevels& dbm);

// The scale's limits after the threshold's say: a threshold above every level becomes the
// top, one below every level becomes the minimum (and the "Minimum" text shows it).
struct SpectrumScale {
    int top;
    int minimum;
    float pixelsPerDb;  // 10 up to an 18 dB range, else 180 / range
};

SpectrumScale ScaleSpectrum(const SpectrumStats& stats, int threshold);

// Pixels above the baseline: pixelsPerDb * (level - minimum) truncated, 0 when negative.
int LevelHeight(int level, int minimum, float pixelsPerDb);
int LevelY(int level, const SpectrumScale& scale);  // 240 - LevelHeight
int BinX(int bin);                                  // 4 * (bin + 3)

// The dashed threshold line is drawn only when the threshold is above the minimum.
bool ThresholdLineShown(int threshold, const SpectrumScale& scale);
inline constexpr int kThresholdLineStartX = BinPitch * BinOrigin;                  // 12
inline constexpr int kThresholdLineEndX = BinPitch * (BinOrigin + kSpectrumBins);  // 524
// The threshold's label, `labelWidth` pixels wide and one 13-pixel line high, stands just
// above its line where the trace stays below it: the rightmost such place along the line,
// its right end at the line's end when the trace allows. Where the trace rises over the line
// everywhere, the label keeps that rightmost place.
GraphPoint ThresholdLabelPosition(int threshold, const SpectrumScale& scale,
                                  const SpectrumLevels& dbm, int labelWidth);

// Frequency of bin 0..128 in Hz, wrapping as 32-bit unsigned arithmetic does. The offset
// table follows the band mode; bin 128 (one step past the last) has offset 0.
uint32_t BinFrequency(const SpectrumRecordData& record, int bin);

// One format per power unit, each taking a double.
struct PowerFormats {
    const char* mW;
    const char* uW;
    const char* nW;
    const char* pW;
};

// The same dBm-to-power rule prints with different formats in each place.
inline constexpr PowerFormats kThresholdPowerFormats = {"%.03lf mW", "%.03lf uW", " %.03lf nW",
                                                        "%.03lf pW"};
inline constexpr PowerFormats kCursorPowerFormats = kThresholdPowerFormats;
inline constexpr PowerFormats kAveragePowerFormats = {"Average = %.03lf mW", "Average = %.03lf uW",
                                                      "Average = %.03lf nW", "Average = %.03lf pW"};
inline constexpr PowerFormats kMaxPowerFormats = {"Max = %.03lf mW", "Max = = %.03lf uW",
                                                  "Max = %.03lf nW", "Max = %.03lf pW"};
inline constexpr PowerFormats kMinimumPowerFormats = {
    "Minimum = %.03lf mW", "Minimum = = %.03lf uW", "Minimum = %.03lf nW", "Minimum = %.03lf pW"};
inline constexpr PowerFormats kPowerListFormats = {"%.03lf mW", "%.03lf uW", "%.03lf nW",
                                                   "%.03lf pW"};

// A dBm level as power: p = 10^((level + 90) / 10) pW, printed in mW above 999999999 pW,
// uW above 999999, nW above 999, else pW.
std::string PowerText(int level, const PowerFormats& formats);

// The two threshold lists: item i (0..128) stands for i - 128 dBm.
inline constexpr int kThresholdListItems = 129;
int ThresholdForListItem(int item);
std::string DbmListText(int item);        // "-128 (dBm)" .. "0 (dBm)"
std::string ThresholdListText(int item);  // "0.000 pW" .. "1.000 mW"

// Texts of the spectrum's annotations; `showPower` picks power units over dBm.
std::string ThresholdLabelText(int threshold, bool showPower);  // "-98 dBm"
std::string AverageText(int average, bool showPower);           // "Average = -128 dBm"
std::string MaximumText(int maximum, bool showPower);           // "Max = -128 dBm"
std::string MinimumText(int minimum, bool showPower);           // "(Minimum = -128 dBm)"
std::string CursorLevelText(int level, bool showPower);         // "-128 dBm"
std::string ChannelSpacingText(const SpectrumRecordData& record);
std::string ChannelBandwidthText(const SpectrumRecordData& record);

// The four header texts fill rows 5..33; the crosshair's column line starts below them and
// its read-out never rises into them.
inline constexpr int kHeaderBottom = 35;
inline constexpr GraphPoint kAveragePosition{20, 5};
inline constexpr GraphPoint kMaximumPosition{45, 21};
inline constexpr GraphPoint kSpacingPosition{351, 5};
inline constexpr GraphPoint kBandwidthPosition{335, 21};
inline constexpr GraphPoint kMinimumPosition{190, 245};
inline constexpr GraphPoint kBandStartPosition{20, 245};
inline constexpr int kBandStopInset = 100;  // the stop label stands at x = W - 100, y = 245

// The crosshair's bin is CursorBin - 3; texts are drawn only when it is 0..127.
bool CursorOnBin(int cursorBin);
int CursorBinIndex(int cursorBin);

// Frequency of `bin` in the unit chosen by startHz (not by the bin's own frequency):
// GHz from 1 GHz on, kHz below 1 MHz, MHz between.
std::string CursorFrequencyText(const SpectrumRecordData& record, int bin);
// Both texts stand above the crosshair's row; one that would reach into the header goes as
// far below the row instead.
GraphPoint CursorFrequencyPosition(int cursorBin, int cursorRow);
GraphPoint CursorLevelPosition(int cursorBin, int cursorRow);

// The band's edge labels: start at kBandStartPosition, stop at (W - 100, 245).
std::string BandStartLabel(const SpectrumRecordData& record);
std::string BandStopLabel(const SpectrumRecordData& record);

// ---------------------------------------------------------------------------------------
// Field trend plot

struct MagneticTraces {
    bool x, y, z, emf;
};

// A trace's scale: y = base - T((value - minimum) * pixelsPerUnit), T truncating.
struct TrendScale {
    float minimum;
    float pixelsPerUnit;
};

// A sample as the plot uses it: NaN as 0, infinities and anything beyond ±kLargestPlottedValue
// at that limit (an EF count past the calibration's range converts to +inf), so scales, pixels
// and labels stay finite numbers.
inline constexpr float kLargestPlottedValue = 1e9f;
float PlottableValue(float value);

struct SeriesExtremes {
    float maximum;
    float minimum;
};

// Over every switched-on magnetic series, the walk starting at max -1.0 and min 1000.0;
// 100 / (max - min) pixels per mG, 0 when max equals min.
TrendScale MagneticScaleFor(const FieldBlockData& block, MagneticTraces shown);

// EF pixels per V/m for a spread r > 0: 20 up to 5, 10 up to 10, 5 up to 20, 2 up to 50,
// else 100 / r.
float EfPixelsPerUnit(float range);
TrendScale EfScaleFor(const FieldSeries& ef);  // 0 pixels per unit for a constant series

SeriesExtremes EfExtremes(const FieldSeries& ef);    // EfMaximum, EfMinimum
SeriesExtremes EmfExtremes(const FieldSeries& emf);  // EmfMaximum, EmfMinimum

// 115 - ... and 240 - ..., not clamped to the image; offsets beyond a million pixels are.
int MagneticY(float value, const TrendScale& scale);
int EfY(float value, const TrendScale& scale);
int SampleX(int sample);  // 80 + 6 * (sample + 1)

// 1..60 for a time line at cx (sample k - 1, labelled k - 60 sec), 0 when cx is off the
// 60-second span (outside 86..440) and no line is drawn.
int TrendCursorSample(int cx);
int TrendCursorX(int k);                     // 80 + 6 * k
GraphPoint TrendCursorLabelPosition(int k);  // (80 + 6k + 5, 127)

// snprintf into a string; the program keeps LC_NUMERIC at "C", so decimals print with ".".
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
