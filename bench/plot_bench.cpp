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
void FillBusyFieldBlock() {
    ShowX = ShowY = ShowZ = ShowEmf = 1;
    for (int j = 0; j < kFieldSamples; ++j) {
        const float t = static_cast<float>(j);
        FieldBlock.xSeries[j] = 20.0f + 15.0f * std::sin(t * 0.7f);
        FieldBlock.ySeries[j] = 18.0f + 12.0f * std::cos(t * 0.5f);
        FieldBlock.zSeries[j] = 10.0f + 8.0f * std::sin(t * 1.3f);
        FieldBlock.emfSeries[j] = 35.0f + 20.0f * std::sin(t * 0.3f);
        FieldBlock.efSeries[j] = 4.0f + 30.0f * std::fabs(std::sin(t * 0.2f));
    }
}

// Bars and line on, levels spread over 60 dB, the threshold line in the middle.
void FillBusySpectrum() {
    ShowBar = ShowLine = 1;
    for (int i = 0; i < kSpectrumBins; ++i)
        SpectrumRecord.dbm[i] = static_cast<int8_t>(-100 + (i * 37) % 60);
    SpectrumRecord.startHz = 2400000000u;
    SpectrumRecord.spacingHz = 1000000u;
    SpectrumRecord.bandwidthHz = 1000000u;
    SearchThreshold = -70;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    std::setlocale(LC_NUMERIC, "C");

    CGraphWnd window;
    window.resize(kGraphControlWidth, kGraphControlHeight);
    FillBusyFieldBlock();
    FillBusySpectrum();
    GraphCursor.CursorPoint = {260, 100};  // both cursors on the plot, with their read-outs

    MeasurementKind = kKindField;
    Report("field trend redraw:", MedianMs([&] { window.RenderAll(); }));
    MeasurementKind = kKindSpectrum;
    Report("spectrum redraw:", MedianMs([&] { window.RenderAll(); }));

    window.show();
    for (uint8_t kind : {kKindField, kKindSpectrum}) {
        MeasurementKind = kind;
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
