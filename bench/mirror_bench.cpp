// Mirrored frames per second against the virtual meter at wire speed, as a share of what the
// wire allows: each frame is a 12-byte request and a 1025-byte reply at 115200 8N1.

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <cstdio>

#include "app/main_dialog.h"
#include "link/message_seam.h"
#include "link/port_table.h"
#include "tests/support/meter_process.h"

namespace {

constexpr double kBytesPerSecond = 115200.0 / 10.0;  // 8N1: ten bits a byte
constexpr double kWireFramesPerSecond = kBytesPerSecond / (12 + 1025);
constexpr double kTarget = 0.85;
constexpr int kMeasureMs = 5000;

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    MeterProcess meter;
    if (meter.DevicePath().empty()) {
        std::fprintf(stderr, "mirror_bench: the virtual meter did not start\n");
        return 1;
    }
    PortTable::Instance().Map(1, meter.DevicePath());
    SetMessageHandler([](const std::string&) {});
    CMainDlg window;
    window.show();
    QTest::qWait(1500);  // banner, scan, first frames
    const int start = window.MirroredFrames();
    QElapsedTimer timer;
    timer.start();
    QTest::qWait(kMeasureMs);
    const double fps = (window.MirroredFrames() - start) * 1000.0 / timer.elapsed();
    std::printf(
        "screen mirror: %.2f frames/s, wire limit %.2f frames/s: share %.2f (target >= %.2f)\n",
        fps, kWireFramesPerSecond, fps / kWireFramesPerSecond, kTarget);
    window.reject();
    return 0;
}
