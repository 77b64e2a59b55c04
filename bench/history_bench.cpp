// A full 1 MiB history download from the virtual meter at wire speed, against the time the
// bytes themselves need on a 115200 8N1 line (256 requests of 12 bytes and replies of 4096);
// then the time to turn that memory into the CSV table.

#include <algorithm>
#include <cstdio>
#include <vector>

#include "history/history_csv.h"
#include "history/history_download.h"
#include "link/link_timing.h"
#include "link/meter_link.h"
#include "link/port_table.h"
#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kCom = 1;
constexpr double kBytesPerSecond = 115200.0 / 10.0;  // 8N1: ten bits a byte
constexpr double kRequestBytes = 12.0;
constexpr double kWireMs =
    kHistoryBlockCount * (kRequestBytes + kHistoryBlockSize) / kBytesPerSecond * 1000.0;
// A fixed 450 ms wait per block, read only when it has passed.
constexpr double kOriginalPacingMs = kHistoryBlockCount * kBlockFirstWaitMs;
constexpr double kDownloadTarget = 1.10;
constexpr double kCsvTargetMs = 100.0;
constexpr int kCsvRuns = 9;

class SilentView : public HistoryView {
  public:
    explicit SilentView(std::string path) : path_(std::move(path)) {}
    std::optional<std::string> ChooseSavePath(const std::string&) override { return path_; }
    void SetStatus(const std::string&) override {}
    void SetProgress(int, size_t) override {}
    void SetDownloadCaption(const std::string&) override {}
    void SetExitCaption(const std::string&) override {}
    void ShowFinished(const std::string&) override {}

  private:
    std::string path_;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Leaves the memory it downloaded in `memory`.
bool BenchDownload(std::vector<uint8_t>& memory) {
    MeterProcess meter({"--history-blocks", "256"});
    if (meter.DevicePath().empty()) {
        std::fprintf(stderr, "history_bench: the virtual meter did not start\n");
        return false;
    }
    MeterLink link;
    CSerialPort& port = link.port;
    port.Ports().Map(kCom, meter.DevicePath());
    if (!port.Open(kCom)) {
        std::fprintf(stderr, "history_bench: cannot open %s\n", meter.DevicePath().c_str());
        return false;
    }
    TempDir dir;
    SilentView view(dir.File("history"));
    HistoryDownload download(port, view);
    Stopwatch watch;
    const HistoryResult result = download.Run();
    const double ms = watch.ElapsedMs();
    if (result.outcome != HistoryOutcome::Finished || result.countedBytes != kHistoryMemorySize) {
        std::fprintf(stderr, "history_bench: the download ended with %zu bytes\n",
                     result.countedBytes);
        return false;
    }
    std::printf("full 1 MiB history download at 115200 baud: %.1f s (wire time %.1f s)\n",
                ms / 1000.0, kWireMs / 1000.0);
    memory.assign(download.Memory(), download.Memory() + kHistoryMemorySize);
    std::printf(
        "  ratio to the wire time %.3f (target <= %.2f), to the original pacing (%.1f s) "
        "%.2f\n",
        ms / kWireMs, kDownloadTarget, kOriginalPacingMs / 1000.0, ms / kOriginalPacingMs);
    return true;
}

void BenchCsv(const std::vector<uint8_t>& memory) {
    std::vector<double> times;
    size_t lines = 0;
    for (int run = 0; run < kCsvRuns; ++run) {
        Stopwatch watch;
        const std::string csv = HistoryCsvText(memory.data(), kHistoryMemorySize);
        times.push_back(watch.ElapsedMs());
        lines = static_cast<size_t>(std::count(csv.begin(), csv.end(), '\n'));
    }
    std::printf(
        "1 MiB of records to CSV (%zu lines): median %.1f ms over %d runs (target < %.0f ms)\n",
        lines, Median(times), kCsvRuns, kCsvTargetMs);
}

}  // namespace

int main() {
    std::vector<uint8_t> memory;
    if (!BenchDownload(memory)) return 1;
    BenchCsv(memory);  // from the memory just downloaded
    return 0;
}
