// Mirrored frames per second against the virtual meter at wire speed, as a share of what the
// wire allows (each frame is a 12-byte request and a 1025-byte reply at 115200 8N1); the share
// of a core the window takes meanwhile; and how soon a press of the Up button reaches the meter
// while the screen is mirrored.

#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/main_dialog.h"
#include "link/message_seam.h"
#include "link/meter_link.h"
#include "link/port_table.h"
#include "res/main_dialog_template.h"
#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr double kBytesPerSecond = 115200.0 / 10.0;  // 8N1: ten bits a byte
constexpr double kWireFramesPerSecond = kBytesPerSecond / (12 + 1025);
constexpr double kTarget = 0.85;
constexpr double kCpuTarget = 0.03;
constexpr int kMeasureMs = 5000;
constexpr int kKeyPresses = 20;
constexpr int kKeyTimeoutMs = 2000;

double ProcessCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 +
           usage.ru_stime.tv_sec * 1e3 + usage.ru_stime.tv_usec / 1e3;
}

// From the click to the key frame in the meter's log; the window keeps mirroring meanwhile.
double MedianKeyLatencyMs(CMainDlg& window, const std::string& log) {
    auto* up = static_cast<QPushButton*>(window.Control(kIdKeyUp));
    std::vector<double> times;
    for (int press = 0; press < kKeyPresses; ++press) {
        const size_t before = ReadLogLines(log).size();
        QElapsedTimer timer;
        timer.start();
        QTest::mouseClick(up, Qt::LeftButton);
        while (ReadLogLines(log).size() == before && timer.elapsed() < kKeyTimeoutMs)
            QTest::qWait(1);
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        QTest::qWait(37);  // presses land at different points of the screen exchange
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    TempDir dir;
    const std::string log = dir.File("frames.log");
    MeterProcess meter({"--log", log});
    if (meter.DevicePath().empty()) {
        std::fprintf(stderr, "mirror_bench: the virtual meter did not start\n");
        return 1;
    }
    MeterLink link;
    link.port.Ports().Map(1, meter.DevicePath());
    SetMessageHandler([](const std::string&) {});
    CMainDlg window(link);
    window.show();
    QTest::qWait(1500);  // banner, scan, first frames
    const int start = window.MirroredFrames();
    const double cpuStart = ProcessCpuMs();
    QElapsedTimer timer;
    timer.start();
    QTest::qWait(kMeasureMs);
    const double elapsed = static_cast<double>(timer.elapsed());
    const double fps = (window.MirroredFrames() - start) * 1000.0 / elapsed;
    const double cpu = (ProcessCpuMs() - cpuStart) / elapsed;
    std::printf(
        "screen mirror: %.2f frames/s, wire limit %.2f frames/s: share %.2f (target >= %.2f)\n",
        fps, kWireFramesPerSecond, fps / kWireFramesPerSecond, kTarget);
    std::printf("window process while mirroring: %.1f %% of a core (target <= %.0f %%)\n",
                cpu * 100, kCpuTarget * 100);
    std::printf("Up button to meter while mirroring: median %.1f ms over %d presses\n",
                MedianKeyLatencyMs(window, log), kKeyPresses);
    window.reject();
    return 0;
}
