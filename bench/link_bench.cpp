// How long ferrolog-cli takes from its start to the meter identified on COM1, against the
// virtual meter at wire speed, beside what the original pacing needs (100 ms + 1000 ms); how
// soon a key press reaches the meter while the screen is mirrored; and what a loop of
// exchanges costs while the meter is unplugged.

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "link/command_exchange.h"
#include "link/link_timing.h"
#include "link/meter_link.h"
#include "link/port_table.h"
#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr double kOriginalPacingMs = 100.0 + 1000.0;
constexpr double kTargetMs = 400.0;
constexpr int kRuns = 7;

constexpr int kBenchCom = 1;
constexpr int kKeyPresses = 20;
constexpr double kKeyWireMs = 7 * 10 * 1000.0 / 115200;  // "<KEY2>>" at ten bits a byte
constexpr double kUnpluggedTargetShare = 0.005;
constexpr double kUnpluggedMeasureMs = 3000.0;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double ProcessCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 +
           usage.ru_stime.tv_sec * 1e3 + usage.ru_stime.tv_usec / 1e3;
}

// Key presses while a worker mirrors the screen: from the send to the frame in the meter's log.
void KeyLatency() {
    TempDir dir;
    const std::string log = dir.File("frames.log");
    MeterProcess meter({"--log", log});
    MeterLink link;
    CSerialPort& port = link.port;
    port.Ports().Map(kBenchCom, meter.DevicePath());
    if (!port.Open(kBenchCom)) return;
    std::atomic<bool> mirroring{true};
    std::thread screen([&] {
        Bytes frame(static_cast<size_t>(kScreenPolicy.readMax));
        while (mirroring)
            RunExchange(port, kScreenPolicy, BuildFrame("GETSCREEN"), frame.data(), kBenchCom);
    });
    std::vector<double> times;
    const Bytes key = BuildFrame("KEY2");
    for (int press = 0; press < kKeyPresses; ++press) {
        const size_t before = ReadLogLines(log).size();
        Stopwatch watch;
        port.Send(key.data(), static_cast<int>(key.size()));
        while (ReadLogLines(log).size() == before && watch.ElapsedMs() < 2000)
            SleepMs(1);
        times.push_back(watch.ElapsedMs());
        SleepMs(37);  // presses land at different points of the screen exchange
    }
    mirroring = false;
    screen.join();
    const double median = Median(times);
    std::printf(
        "key press to meter while mirroring: median %.1f ms (the frame's own time on the "
        "wire %.1f ms)\n",
        median, kKeyWireMs);
}

// An exchange loop against a meter that was unplugged: the share of a core it takes.
void UnpluggedLoopCpu() {
    MeterProcess meter({"--fast", "--unplug-after", "1"});
    MeterLink link;
    CSerialPort& port = link.port;
    port.Ports().Map(kBenchCom, meter.DevicePath());
    if (!port.Open(kBenchCom)) return;
    Bytes frame(static_cast<size_t>(kScreenPolicy.readMax));
    RunExchange(port, kScreenPolicy, BuildFrame("GETSCREEN"), frame.data(), kBenchCom);
    const double cpuBefore = ProcessCpuMs();
    Stopwatch watch;
    int exchanges = 0;
    while (watch.ElapsedMs() < kUnpluggedMeasureMs) {
        RunExchange(port, kScreenPolicy, BuildFrame("GETSCREEN"), frame.data(), kBenchCom);
        ++exchanges;
    }
    const double share = (ProcessCpuMs() - cpuBefore) / watch.ElapsedMs();
    std::printf(
        "exchange loop while unplugged: %.3f %% of a core, %d exchanges/s (target <= %.1f %%)\n",
        share * 100, static_cast<int>(exchanges * 1000 / watch.ElapsedMs()),
        kUnpluggedTargetShare * 100);
}

}  // namespace

int main() {
    std::vector<double> times;
    const char* models[] = {"ZTX420", "ZTX420+", "ZTX430", "ZTX440", "VXQ", "ZTX-8800", "TKL"};
    for (int run = 0; run < kRuns; ++run) {
        MeterProcess meter({"--model", models[run % 7]});
        if (meter.DevicePath().empty()) {
            std::fprintf(stderr, "link_bench: the virtual meter did not start\n");
            return 1;
        }
        Stopwatch watch;
        ProgramResult r = RunProgram(
            FERROLOG_CLI_PATH, {"--only-mapped", "--port", "1=" + meter.DevicePath(), "scan"});
        double ms = watch.ElapsedMs();
        if (r.exitCode != 0) {
            std::fprintf(stderr, "link_bench: scan failed: %s%s\n", r.out.c_str(), r.err.c_str());
            return 1;
        }
        times.push_back(ms);
    }
    double median = Median(times);
    std::printf(
        "scan to identified meter on COM1: median %.0f ms over %d runs (target < %.0f ms)\n",
        median, kRuns, kTargetMs);
    std::printf("  ratio to target %.2f, to the original pacing (%.0f ms) %.2f\n",
                median / kTargetMs, kOriginalPacingMs, median / kOriginalPacingMs);
    KeyLatency();
    UnpluggedLoopCpu();
    return 0;
}
