// Long recordings: opening and drawing seven days of one-second rows (time beside 1 s, peak
// memory beside 150 MB, memory per row beside the 28 bytes of its values), redrawing a waterfall of
// 3,600 sweeps, and the CPU share of ferrolog-cli record at one fetch per 30 s against the virtual
// meter (beside 1 % of a core).

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "graph/long_term_plot.h"
#include "link/link_timing.h"
#include "record/recording_file.h"
#include "record/recording_reader.h"
#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int64_t kWeekRows = 7 * 86400;
constexpr int kFieldRowBytes = 8 + 5 * 4;  // a time and five readings
constexpr int64_t kStart = 1796731200;
constexpr double kOpenTargetMs = 1000.0;
constexpr double kMemoryTargetMb = 150.0;
constexpr int kSweeps = 3600;
constexpr double kCpuTargetPercent = 1.0;
constexpr int kRecordSeconds = 61;  // three fetches at 0, 30 and 60 s

double PeakMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

void WriteWeek(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << kFieldRecordingHeader << '\n';
    std::string chunk;
    for (int64_t i = 0; i < kWeekRows; ++i) {
        const float wave = static_cast<float>(std::sin(i * 0.001));
        chunk += FieldCsvLine({kStart + i, 1 + wave, 2 - wave, 0.5f, 2.3f + wave, 18 + 5 * wave});
        if (chunk.size() > (1 << 20)) {
            out << chunk;
            chunk.clear();
        }
    }
    out << chunk;
}

void BenchWeek(const TempDir& dir) {
    const std::string path = dir.File("week.csv");
    WriteWeek(path);
    const double before = PeakMb();
    Stopwatch watch;
    RecordingKind kind{};
    TimeSeries series;
    SpectrumSeries spectrum;
    std::string error;
    if (!LoadRecording(path, &kind, &series, &spectrum, &error)) {
        std::printf("week: %s\n", error.c_str());
        return;
    }
    const double loadMs = watch.ElapsedMs();
    Stopwatch draw;
    const QImage image =
        RenderTrendImage(series, series.times.front(), series.times.back(), 1200, 600);
    const double drawMs = draw.ElapsedMs();
    const double totalMs = watch.ElapsedMs();
    std::printf(
        "open + draw 7 days (%zu rows)      %.0f ms (read %.0f, draw %.0f; target < %.0f ms), "
        "ratio %.2f\n",
        series.times.size(), totalMs, loadMs, drawMs, kOpenTargetMs, totalMs / kOpenTargetMs);
    std::printf(
        "peak memory                        %.1f MB (%.1f MB before opening; target < "
        "%.0f MB), ratio %.2f\n",
        PeakMb(), before, kMemoryTargetMb, PeakMb() / kMemoryTargetMb);
    const double perRow = (PeakMb() - before) * 1024 * 1024 / static_cast<double>(kWeekRows);
    std::printf("memory per row opened              %.1f bytes (its values take %d), ratio %.2f\n",
                perRow, kFieldRowBytes, perRow / kFieldRowBytes);
    Stopwatch redraw;
    const QImage again = RenderTrendImage(series, series.times.front() + 86400,
                                          series.times.front() + 90000, 1200, 600);
    std::printf("redraw one hour of it              %.1f ms\n", redraw.ElapsedMs());
}

void BenchWaterfall() {
    SpectrumSeries series;
    series.rows.resize(kSweeps);
    for (int i = 0; i < kSweeps; ++i) {
        SpectrumRow& row = series.rows[static_cast<size_t>(i)];
        row.time = kStart + i;
        for (int bin = 0; bin < kSpectrumBins; ++bin) {
            row.frequencyHz[bin] = 2400000000u + 400000u * static_cast<uint32_t>(bin);
            row.dbm[bin] = static_cast<int8_t>(-100 + (i * 7 + bin * 3) % 60);
        }
    }
    std::vector<double> times;
    for (int run = 0; run < 20; ++run) {
        Stopwatch watch;
        const QImage image = RenderWaterfallImage(series, kStart, kStart + kSweeps, 1200, 600);
        times.push_back(watch.ElapsedMs());
    }
    std::sort(times.begin(), times.end());
    std::printf("waterfall redraw, %d sweeps       median %.1f ms over 20 runs\n", kSweeps,
                times[times.size() / 2]);
}

void BenchRecordingCpu(const TempDir& dir) {
    MeterProcess meter;
    if (meter.DevicePath().empty()) {
        std::printf("recording overhead: the virtual meter did not start\n");
        return;
    }
    std::string program = FERROLOG_CLI_PATH;
    std::vector<std::string> args = {program,   "--only-mapped",
                                     "--port",  "1=" + meter.DevicePath(),
                                     "--com",   "1",
                                     "record",  "field",
                                     "--every", "30",
                                     "--for",   std::to_string(kRecordSeconds) + "s",
                                     "-o",      dir.File("cpu.csv")};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    Stopwatch wall;
    // The job's own words (the meter found, the rows written) would break up the figures.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawn(&pid, program.c_str(), &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) return;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double cpuMs = usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 +
                         usage.ru_stime.tv_sec * 1e3 + usage.ru_stime.tv_usec / 1e3;
    const double percent = 100.0 * cpuMs / wall.ElapsedMs();
    std::printf(
        "recording CPU, a fetch every 30 s  %.3f %% of a core over %.0f s (%.0f ms CPU; "
        "target < %.0f %%), ratio %.2f\n",
        percent, wall.ElapsedMs() / 1000, cpuMs, kCpuTargetPercent, percent / kCpuTargetPercent);
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    TempDir dir;
    BenchWeek(dir);
    BenchWaterfall();
    BenchRecordingCpu(dir);
    return 0;
}
