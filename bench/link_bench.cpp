// How long ferrolog-cli takes from its start to the meter identified on COM1, against the
// virtual meter at wire speed, beside what the original pacing needs (100 ms + 1000 ms).

#include <algorithm>
#include <cstdio>
#include <vector>

#include "link/link_timing.h"
#include "tests/support/meter_process.h"

namespace {

constexpr double kOriginalPacingMs = 100.0 + 1000.0;
constexpr double kTargetMs = 400.0;
constexpr int kRuns = 7;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
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
    return 0;
}
