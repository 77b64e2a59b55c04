// Fetch latency against the virtual meter at wire speed, as a ratio to the wire time of the
// replies (1201 and 269 bytes at 115200 8N1) plus the meter's own latency, and decode speed.

#include <algorithm>
#include <cstdio>
#include <vector>

#include "link/link_timing.h"
#include "link/meter_identity.h"
#include "link/meter_link.h"
#include "link/port_table.h"
#include "link/serial_port.h"
#include "measure/measurement.h"
#include "measure/measurement_fetch.h"
#include "measure/measurement_file.h"
#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr double kMsPerByte = 1000.0 / (115200.0 / 10.0);
constexpr double kTargetRatio = 1.5;
constexpr int kRuns = 15;

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename Fetch>
double TimeFetch(Fetch fetch) {
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        Stopwatch watch;
        fetch();
        times.push_back(watch.ElapsedMs());
    }
    return Median(times);
}

void Report(const char* what, double ms, int requestBytes, int replyBytes, double latencyMs) {
    const double wire = (requestBytes + replyBytes) * kMsPerByte;
    std::printf(
        "%s fetch: median %.1f ms; wire %.1f ms + meter latency %.0f ms: ratio %.2f "
        "(target < %.1f)\n",
        what, ms, wire, latencyMs, ms / (wire + latencyMs), kTargetRatio);
}

void ReportDecode(Measurement& reading) {
    constexpr int kDecodes = 20000;
    Stopwatch watch;
    for (int i = 0; i < kDecodes; ++i) {
        reading.kind = i % 2 ? kKindSpectrum : kKindField;
        DecodeMeasurement(reading, 0.0f);
    }
    const double us = watch.ElapsedMs() * 1000.0 / kDecodes;
    std::printf("decode: %.2f us per measurement (%.0f per second)\n", us, 1e6 / us);
}

// A measurement file is written whole (temporary file, flushed to disk, renamed), once per
// auto-saved fetch: its cost against the second between fetches.
void ReportWholeWrite(const Measurement& reading) {
    constexpr double kTargetMs = 100.0;
    TempDir dir;
    const double ms = TimeFetch(
        [&] { WriteMeasurementFile(dir.File("bench.csv"), reading.kind, reading.bytes); });
    std::printf("measurement file written whole: median %.2f ms (target < %.0f ms)\n", ms,
                kTargetMs);
}

}  // namespace

int main() {
    MeterProcess meter;  // wire speed, the meter's default latency
    if (meter.DevicePath().empty()) return 1;
    MeterLink link;
    link.port.Ports().Map(1, meter.DevicePath());
    link.PortNumber = 1;
    if (!link.port.Open(1)) return 1;
    // The virtual meter takes 15 ms to gather a field block and 95 ms for one sweep.
    Measurement reading;
    Report("field", TimeFetch([&] { FetchFieldBlock(link, 1, reading); }), 13, 1201, 15.0);
    Report("spectrum", TimeFetch([&] { FetchSpectrumSweeps(link, 1, kFloorDbm, reading); }), 17,
           269, 95.0);
    ReportDecode(reading);
    ReportWholeWrite(reading);
    link.port.Close();
    return 0;
}
