// How long one full redraw of the graph takes (a new image, grid, traces and annotations),
// for a busy field trend and a busy spectrum, beside the 2 ms target of a redraw; and the
// same through a shown graph window's Refresh, including the copy onto the window.

#include <QApplication>
#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "graph/display_options.h"
#include "graph/graph_window.h"
#include "link/link_timing.h"
#include "measure/measurement.h"

namespace {

constexpr double kTargetMs = 2.0;
constexpr int kRuns = 200;
constexpr int kWarmUpRuns = 10;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double MedianMs(const std::function<void()>& redraw) {
    for (int run = 0; run < kWarmUpRuns; ++run)
        redraw();
    std::vector<double> times;
    times.reserve(kRuns);
    for (int run = 0; run < kRuns; ++run) {
        Stopwatch watch;
        redraw();
        times.push_back(watch.ElapsedMs());
    }
    return Median(times);
}

void Report(const char* what, double medianMs) {
    std::printf("%-34s median %.3f ms over %d runs (target < %.1f ms), ratio %.2f\n", what,
                medianMs, kRuns, kTargetMs, medianMs / kTargetMs);
}

// Every trace switched on and every sample different, so each segment is a slanted line.
void FillBusyFieldBlock(FieldBlockData& block, DisplayOptions& options) {
    options.ShowX = options.ShowY = options.ShowZ = options.ShowEmf = 1;
    for (int j = 0; j < kFieldSamples; ++j) {
        const float t = static_cast<float>(j);
        block.xSeries[j] = 20.0f + 15.0f * std::sin(t * 0.7f);
        block.ySeries[j] = 18.0f + 12.0f * std::cos(t * 0.5f);
        block.zSeries[j] = 10.0f + 8.0f * std::sin(t * 1.3f);
        block.emfSeries[j] = 35.0f + 20.0f * std::sin(t * 0.3f);
        block.efSeries[j] = 4.0f + 30.0f * std::fabs(std::sin(t * 0.2f));
    }
}

// Bars and line on, levels spread over 60 dB, the threshold line in the middle.
void FillBusySpectrum(PlotReading& shown, DisplayOptions& options) {
    options.ShowBar = options.ShowLine = 1;
    SpectrumRecordData& record = shown.measurement.spectrum;
    for (int i = 0; i < kSpectrumBins; ++i)
        record.dbm[i] = static_cast<int8_t>(-100 + (i * 37) % 60);
    record.startHz = 2400000000u;
    record.spacingHz = 1000000u;
    record.bandwidthHz = 1000000u;
    shown.threshold = -70;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    std::setlocale(LC_NUMERIC, "C");

    PlotReading shown;
    CGraphWnd window(shown);
    window.resize(kGraphControlWidth, kGraphControlHeight);
    FillBusyFieldBlock(shown.measurement.field, window.Options());
    FillBusySpectrum(shown, window.Options());
    window.Cursor().CursorPoint = {260, 100};  // both cursors on the plot, with their read-outs

    shown.measurement.kind = kKindField;
    Report("field trend redraw:", MedianMs([&] { window.RenderAll(); }));
    shown.measurement.kind = kKindSpectrum;
    Report("spectrum redraw:", MedianMs([&] { window.RenderAll(); }));

    window.show();
    for (uint8_t kind : {kKindField, kKindSpectrum}) {
        shown.measurement.kind = kind;
        // Refresh redraws and asks for a repaint; repaint() does the copy right away.
        const double ms = MedianMs([&] {
            window.Refresh();
            window.repaint();
        });
        Report(
            kind == kKindField ? "shown window, field Refresh:" : "shown window, spectrum Refresh:",
            ms);
    }
    return 0;
}
