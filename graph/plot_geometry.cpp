#include "graph/plot_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <numeric>
#include <utility>

#include "measure/spectrum.h"

namespace {

// Pointer shape band around the time line, and the time line's span (samples 0..59).
constexpr int kPointerReach = 10;
constexpr int kFirstSampleX = TrendOrigin + SamplePitch;                 // 86
constexpr int kLastSampleX = TrendOrigin + kFieldSamples * SamplePitch;  // 440

constexpr double kDbmToDbPicowatt = 90.0;  // -90 dBm = 1 pW, 0 dBm = 1 mW = 10^9 pW
constexpr double kMilliwattAbove = 999999999.0;
constexpr double kMicrowattAbove = 999999.0;
constexpr double kNanowattAbove = 999.0;
constexpr int kOnePicowattItem = 38;  // the power list's item for -90 dBm

// Spectrum scale: 10 pixels per dB as long as the range fits the full scale.
constexpr int kPixelsPerDbCap = 10;
constexpr int kTextLineHeight = 13;      // the system font's text cell
constexpr int kThresholdLabelRise = 15;  // the label's cell ends two rows above its line

// Crosshair text placement: columns below 24 put both texts right of the line, columns
// above 116 both left of it; the frequency goes a line higher when it cannot share the
// level's line.
constexpr int kLeftEdgeColumns = 24;
constexpr int kRightEdgeColumn = 116;
constexpr int kOneLineUp = 18;
constexpr int kTwoLinesUp = 34;
constexpr int kFrequencyLeftOfLine = 88;
constexpr int kBelowTheRow = 4;

constexpr double kHzToGhz = 1e-9;
constexpr double kHzToMhz = 1e-6;
constexpr double kHzToKhz = 1e-3;
constexpr uint32_t kOneGigahertz = 1000000000u;
constexpr uint32_t kOneMegahertz = 1000000u;

// Band modes whose stop label is a fixed number rather than a bin's frequency.
constexpr int kMode6StopKhz = 1710;
constexpr double kMode2StopMhz = 1040.0;
constexpr double kMode4StopMhz = 108.0;

// Modes 4 and 6 change their rule at bin 71, mode 2 at bin 120.
constexpr int kSplitBin = 71;
constexpr int kMode2SplitBin = 120;
constexpr uint32_t kMode6SecondBase = 1372000u;

constexpr float kTraceSpan = 100.0f;  // pixels a trend trace may rise above its base
constexpr float kMagneticMaxStart = -1.0f;
constexpr float kMagneticMinStart = 1000.0f;

struct EfScaleStep {
    float rangeUpTo;  // V/m
    float pixelsPerUnit;
};

// clang-format off
constexpr EfScaleStep kEfScaleSteps[] = {
    { 5.0f, 20.0f},
    {10.0f, 10.0f},
    {20.0f,  5.0f},
    {50.0f,  2.0f},
};
// clang-format on

int BinOffset(const SpectrumRecordData& record, int bin) {
    if (bin < 0 || bin >= kSpectrumBins) return 0;
    return OffsetsForMode(record.binOffset, record.bandMode)[bin];
}

std::string PowerTextOfPicowatts(double p, const PowerFormats& formats) {
    if (p > kMilliwattAbove) return FormatText(formats.mW, p * 1e-9);
    if (p > kMicrowattAbove) return FormatText(formats.uW, p * 1e-6);
    if (p > kNanowattAbove) return FormatText(formats.nW, p * 1e-3);
    return FormatText(formats.pW, p);
}

std::string FrequencyInUnitOf(uint32_t startHz, uint32_t hz, const char* gigahertz,
                              const char* megahertz, const char* kilohertz) {
    if (startHz >= kOneGigahertz) return FormatText(gigahertz, hz * kHzToGhz);
    if (startHz < kOneMegahertz) return FormatText(kilohertz, hz * kHzToKhz);
    return FormatText(megahertz, hz * kHzToMhz);
}

// Far beyond any image, yet safe to add to a coordinate: a pixel count is clamped to it before
// it becomes an int, since converting an out-of-range or NaN float is undefined.
constexpr float kLargestPixelOffset = 1e6f;

int Truncated(float pixels) {
    if (std::isnan(pixels)) return 0;
    return static_cast<int>(std::clamp(pixels, -kLargestPixelOffset, kLargestPixelOffset));
}

void Widen(SeriesExtremes& extremes, float value) {
    extremes.maximum = std::max(extremes.maximum, PlottableValue(value));
    extremes.minimum = std::min(extremes.minimum, PlottableValue(value));
}

TrendScale ScaleOf(SeriesExtremes extremes, float pixelsPerUnit) {
    return {extremes.minimum, extremes.maximum == extremes.minimum ? 0.0f : pixelsPerUnit};
}

}  // namespace

std::string FormatText(const char* format, ...) {
    char text[128];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// ---------------------------------------------------------------------------------------
// Cursor

int CursorColumnFor(int x) {
    return x / BinPitch + (x % BinPitch > 2 ? 1 : 0);
}

bool IsInsideBounds(int x, int y, int width, int height) {
    return kBoundsMargin < x && x < width - kBoundsMargin && kBoundsMargin < y &&
           y < height - kBoundsMargin;
}

bool PlaceCursor(CursorState& cursor, int x, int y, int width, int height) {
    if (!IsInsideBounds(x, y, width, height)) return false;
    cursor.CursorRow = y;
    cursor.CursorBin = CursorColumnFor(x);
    return true;
}

bool PressCursor(CursorState& cursor, int x, int y, int width, int height) {
    cursor.Dragging = true;
    if (!PlaceCursor(cursor, x, y, width, height)) return false;
    cursor.CursorPoint = {x, y};
    return true;
}

bool DragCursor(CursorState& cursor, int x, int y, int width, int height) {
    if (!cursor.Dragging) return false;
    if (IsInsideBounds(x, y, width, height)) cursor.CursorPoint = {x, y};
    return true;
}

int PointerShapeFor(int x, const CursorState& cursor, bool fieldTrend) {
    int c = cursor.Dragging ? x : cursor.CursorPoint.x;
    bool nearLine = c - kPointerReach < x && x < c + kPointerReach;
    bool onSpan = kFirstSampleX <= c && c <= kLastSampleX;
    if (!(nearLine && onSpan)) return kPointerArrow;
    return fieldTrend ? kPointerSizeWE : cursor.PointerShape;
}

// ---------------------------------------------------------------------------------------
// Spectrum plot

SpectrumStats MeasureSpectrum(const SpectrumLevels& dbm) {
    auto [low, high] = std::minmax_element(dbm.begin(), dbm.end());
    int sum = std::accumulate(dbm.begin(), dbm.end(), 0);
    return {*high, *low, sum / kSpectrumBins};
}

SpectrumScale ScaleSpectrum(const SpectrumStats& stats, int threshold) {
    SpectrumScale scale{stats.maximum, stats.minimum, static_cast<float>(kPixelsPerDbCap)};
    if (threshold > scale.top)
        scale.top = threshold;
    else if (threshold < scale.minimum)
        scale.minimum = threshold;
    int range = scale.top - scale.minimum;
    if (kPixelsPerDbCap * range > kSpectrumFullScale)
        scale.pixelsPerDb = static_cast<float>(kSpectrumFullScale) / static_cast<float>(range);
    return scale;
}

int LevelHeight(int level, int minimum, float pixelsPerDb) {
    return std::max(Truncated(pixelsPerDb * static_cast<float>(level - minimum)), 0);
}

int LevelY(int level, const SpectrumScale& scale) {
    return kSpectrumBaseY - LevelHeight(level, scale.minimum, scale.pixelsPerDb);
}

int BinX(int bin) {
    return BinPitch * (bin + BinOrigin);
}

bool ThresholdLineShown(int threshold, const SpectrumScale& scale) {
    return threshold > scale.minimum;
}

namespace {

// Whether the trace (bars from the baseline, the line between neighbouring bins, both two
// pixels wide) stays below row `bottom` over columns left..right.
bool TraceBelow(const SpectrumLevels& dbm, const SpectrumScale& scale, int left, int right,
                int bottom) {
    for (int i = 0; i < kSpectrumBins; ++i) {
        const bool near = BinX(i) + BinPitch >= left && BinX(i) - BinPitch <= right;
        if (near && LevelY(dbm[i], scale) - 1 <= bottom) return false;
    }
    return true;
}

}  // namespace

GraphPoint ThresholdLabelPosition(int threshold, const SpectrumScale& scale,
                                  const SpectrumLevels& dbm, int labelWidth) {
    const int top = LevelY(threshold, scale) - kThresholdLabelRise;
    const int rightmost = kThresholdLineEndX - labelWidth;
    for (int x = rightmost; x >= kThresholdLineStartX; x -= BinPitch)
        if (TraceBelow(dbm, scale, x - 1, x + labelWidth, top + kTextLineHeight)) return {x, top};
    return {rightmost, top};
}

uint32_t BinFrequency(const SpectrumRecordData& record, int bin) {
    const uint32_t f0 = record.startHz;
    const uint32_t s = record.spacingHz;
    const uint32_t b = static_cast<uint32_t>(bin);
    const uint32_t o = static_cast<uint32_t>(BinOffset(record, bin));  // wraps like the meter
    switch (record.bandMode) {
        case kBandMode0:
            return f0 + s * (2 * b + o);
        case kBandMode2:
            if (bin < kMode2SplitBin) return f0 + 6 * s * b + kOneMegahertz * o;
            return kOneMegahertz * (o + 10 * b - 240);
        case kBandMode4:
            if (bin < kSplitBin) return f0 + s * (3 * b + o);
            return f0 + s * (4 * b - kSplitBin + o);
        case kBandMode6:
            if (bin < kSplitBin) return f0 + s * (2 * b + o);
            return kMode6SecondBase + s * (b - kSplitBin);
        default:
            return f0 + s * b;
    }
}

std::string PowerText(int level, const PowerFormats& formats) {
    return PowerTextOfPicowatts(std::pow(10.0, (level + kDbmToDbPicowatt) * 0.1), formats);
}

int ThresholdForListItem(int item) {
    return item + kFloorDbm;
}

std::string DbmListText(int item) {
    return FormatText("%d (dBm)", ThresholdForListItem(item));
}

std::string ThresholdListText(int item) {
    double p = std::pow(10.0, (item - kOnePicowattItem) / 10.0);
    return PowerTextOfPicowatts(p, kPowerListFormats);
}

std::string ThresholdLabelText(int threshold, bool showPower) {
    return showPower ? PowerText(threshold, kThresholdPowerFormats)
                     : FormatText("%d dBm", threshold);
}

std::string AverageText(int average, bool showPower) {
    return showPower ? PowerText(average, kAveragePowerFormats)
                     : FormatText("Average = %d dBm", average);
}

std::string MaximumText(int maximum, bool showPower) {
    return showPower ? PowerText(maximum, kMaxPowerFormats) : FormatText("Max = %d dBm", maximum);
}

std::string MinimumText(int minimum, bool showPower) {
    return showPower ? PowerText(minimum, kMinimumPowerFormats)
                     : FormatText("(Minimum = %d dBm)", minimum);
}

std::string CursorLevelText(int level, bool showPower) {
    return showPower ? PowerText(level, kCursorPowerFormats) : FormatText("%d dBm", level);
}

std::string ChannelSpacingText(const SpectrumRecordData& record) {
    return FormatText("Channel Spacing = %d kHz", static_cast<int>(record.spacingHz / 1000));
}

std::string ChannelBandwidthText(const SpectrumRecordData& record) {
    return FormatText("Channel Bandwidth = %d kHz", static_cast<int>(record.bandwidthHz / 1000));
}

bool CursorOnBin(int cursorBin) {
    int i = CursorBinIndex(cursorBin);
    return 0 <= i && i < kSpectrumBins;
}

int CursorBinIndex(int cursorBin) {
    return cursorBin - BinOrigin;
}

std::string CursorFrequencyText(const SpectrumRecordData& record, int bin) {
    return FrequencyInUnitOf(record.startHz, BinFrequency(record, bin), "%.03lf GHz", "%.03lf MHz",
                             "%.03lf kHz");
}

namespace {

// `rise` pixels above the row, or mirrored below it when that reaches into the header: a text
// 18 up goes 4 below the row, one 34 up 20 below.
GraphPoint ReadOutAt(int x, int cursorRow, int rise) {
    if (cursorRow - rise >= kHeaderBottom) return {x, cursorRow - rise};
    return {x, cursorRow + rise - kOneLineUp + kBelowTheRow};
}

}  // namespace

GraphPoint CursorFrequencyPosition(int cursorBin, int cursorRow) {
    int x = BinPitch * cursorBin;
    if (cursorBin < kLeftEdgeColumns) return ReadOutAt(x + 5, cursorRow, kTwoLinesUp);
    if (cursorBin <= kRightEdgeColumn)
        return ReadOutAt(x - kFrequencyLeftOfLine, cursorRow, kOneLineUp);
    return ReadOutAt(x - kFrequencyLeftOfLine, cursorRow, kTwoLinesUp);
}

GraphPoint CursorLevelPosition(int cursorBin, int cursorRow) {
    int x = BinPitch * cursorBin;
    if (cursorBin <= kRightEdgeColumn) return ReadOutAt(x + 10, cursorRow, kOneLineUp);
    return ReadOutAt(x - 65, cursorRow, kOneLineUp);
}

std::string BandStartLabel(const SpectrumRecordData& record) {
    return FrequencyInUnitOf(record.startHz, record.startHz, "%.03lf GHz", "%.02lf MHz",
                             "%.02lf kHz");
}

// The kHz range ends at the last bin (127); the MHz and GHz ranges one step beyond it.
std::string BandStopLabel(const SpectrumRecordData& record) {
    if (record.startHz >= kOneGigahertz)
        return FormatText("%.03lf GHz", BinFrequency(record, kSpectrumBins) * kHzToGhz);
    if (record.startHz < kOneMegahertz) {
        if (record.bandMode == kBandMode6) return FormatText("%.01d kHz", kMode6StopKhz);
        return FormatText("%.01lf kHz", BinFrequency(record, kSpectrumBins - 1) * kHzToKhz);
    }
    if (record.bandMode == kBandMode2) return FormatText("%.02lf MHz", kMode2StopMhz);
    if (record.bandMode == kBandMode4) return FormatText("%.02lf MHz", kMode4StopMhz);
    return FormatText("%.02lf MHz", BinFrequency(record, kSpectrumBins) * kHzToMhz);
}

// ---------------------------------------------------------------------------------------
// Field trend plot

TrendScale MagneticScaleFor(const FieldBlockData& block, MagneticTraces shown) {
    SeriesExtremes extremes{kMagneticMaxStart, kMagneticMinStart};
    const std::pair<bool, const FieldSeries*> series[] = {{shown.emf, &block.emfSeries},
                                                          {shown.x, &block.xSeries},
                                                          {shown.y, &block.ySeries},
                                                          {shown.z, &block.zSeries}};
    for (const auto& [on, samples] : series) {
        if (!on) continue;
        for (float v : *samples)
            Widen(extremes, v);
    }
    return ScaleOf(extremes, kTraceSpan / (extremes.maximum - extremes.minimum));
}

float EfPixelsPerUnit(float range) {
    for (const EfScaleStep& step : kEfScaleSteps)
        if (range <= step.rangeUpTo) return step.pixelsPerUnit;
    return kTraceSpan / range;
}

TrendScale EfScaleFor(const FieldSeries& ef) {
    SeriesExtremes extremes = EfExtremes(ef);
    return ScaleOf(extremes, EfPixelsPerUnit(extremes.maximum - extremes.minimum));
}

float PlottableValue(float value) {
    if (std::isnan(value)) return 0.0f;
    return std::clamp(value, -kLargestPlottedValue, kLargestPlottedValue);
}

SeriesExtremes EfExtremes(const FieldSeries& ef) {
    const float first = PlottableValue(ef[0]);
    SeriesExtremes extremes{first, first};
    for (float v : ef)
        Widen(extremes, v);
    return extremes;
}

SeriesExtremes EmfExtremes(const FieldSeries& emf) {
    const float newest = PlottableValue(emf[kFieldSamples - 1]);
    SeriesExtremes extremes{newest, newest};
    for (int j = 0; j < kFieldSamples - 1; ++j)
        Widen(extremes, emf[j]);
    return extremes;
}

int MagneticY(float value, const TrendScale& scale) {
    return MagneticBaseY - Truncated((PlottableValue(value) - scale.minimum) * scale.pixelsPerUnit);
}

int EfY(float value, const TrendScale& scale) {
    return EfBaseY - Truncated((PlottableValue(value) - scale.minimum) * scale.pixelsPerUnit);
}

int SampleX(int sample) {
    return TrendOrigin + SamplePitch * (sample + 1);
}

int TrendCursorSample(int cx) {
    if (cx < kFirstSampleX || cx > kLastSampleX) return 0;
    int fromOrigin = cx - TrendOrigin;
    return fromOrigin / SamplePitch + (fromOrigin % SamplePitch > 2 ? 1 : 0);
}

int TrendCursorX(int k) {
    return TrendOrigin + SamplePitch * k;
}

GraphPoint TrendCursorLabelPosition(int k) {
    return {TrendCursorX(k) + 5, UpperAxisY + 2};
}
