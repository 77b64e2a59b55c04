// The station: memory with 3 meters after 24 hours of rows on their virtual clocks (beside
// 60 MB), and its CPU share with 3 meters on pseudo-terminals at one fetch a second (beside 1 %
// of a core).

#include <sys/resource.h>
#include <unistd.h>

#include <malloc.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "link/link_timing.h"
#include "station/station.h"
#include "tests/station/virtual_meter_link.h"
#include "tests/support/meter_process.h"
#include "tests/support/virtual_clock.h"
#include "tests/support/wait_until.h"

namespace {

constexpr int kMeters = 3;
constexpr int64_t kDaySeconds = 24 * 3600;
constexpr double kMemoryTargetMb = 60.0;
constexpr double kCpuTargetPercent = 1.0;
constexpr int kCpuSeconds = 30;
constexpr int kDayWaitMs = 600000;

double ResidentMb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1048576.0);
}

// The heap in use: what the station holds is what goes when it is destroyed, apart from the
// virtual meters, whose lines keep every byte written for the tests to read.
double HeapInUseMb() {
    return mallinfo2().uordblks / 1048576.0;
}

double PeakMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BenchDayOfRows() {
    const double before = ResidentMb();
    std::vector<std::unique_ptr<VirtualMeterLink>> meters;
    auto owned = std::make_unique<Station>(StationOptions{});
    Station& station = *owned;
    for (int i = 0; i < kMeters; ++i) {
        meters.push_back(std::make_unique<VirtualMeterLink>(std::vector<std::string>{"--fast"}));
        station.AddMeter("m" + std::to_string(i), VirtualMeterLink::Device(),
                         meters.back()->Link());
    }
    const int64_t started = NowMs();
    station.Start();
    const int64_t dayEnd = VirtualClock::kWallStartMs / 1000 + kDaySeconds;
    const bool done = WaitUntil(
        [&] {
            for (int i = 0; i < kMeters; ++i)
                if (station.Snapshot("m" + std::to_string(i))->lastReadingTime < dayEnd)
                    return false;
            return true;
        },
        kDayWaitMs, 100);
    station.Stop();
    size_t rows = 0;
    for (int i = 0; i < kMeters; ++i)
        rows += station.Rows("m" + std::to_string(i), 0).size();
    const double resident = ResidentMb() - before;
    const double heap = HeapInUseMb();
    owned.reset();
    const double held = heap - HeapInUseMb();
    std::printf(
        "station memory, %d meters after 24 h of rows%s: %zu rows kept, %.1f MB held by "
        "the station (%.2f of %.0f MB); the process %.1f MB resident above its start, "
        "peak %.1f MB, with the virtual meters' logs of every byte; %.1f s to simulate\n",
        kMeters, done ? "" : " (NOT reached)", rows, held, held / kMemoryTargetMb, kMemoryTargetMb,
        resident, PeakMb(), (NowMs() - started) / 1000.0);
}

void BenchCpu() {
    std::vector<std::unique_ptr<MeterProcess>> meters;
    std::vector<std::unique_ptr<MeterLink>> links;
    Station station({});
    for (int i = 0; i < kMeters; ++i) {
        meters.push_back(std::make_unique<MeterProcess>(std::vector<std::string>{"--fast"}));
        links.push_back(std::make_unique<MeterLink>());
        if (meters.back()->DevicePath().empty()) {
            std::printf("station CPU: a meter did not start\n");
            return;
        }
        station.AddMeter("m" + std::to_string(i), meters.back()->DevicePath(), *links.back());
    }
    station.Start();
    WaitUntil([&] { return station.Snapshot("m0")->up; }, 10000);
    const double cpuBefore = CpuSeconds();
    const int64_t wallBefore = NowMs();
    SleepMs(kCpuSeconds * 1000);
    const double percent = 100.0 * (CpuSeconds() - cpuBefore) / ((NowMs() - wallBefore) / 1000.0);
    uint64_t ok = 0;
    for (int i = 0; i < kMeters; ++i)
        ok += station.Snapshot("m" + std::to_string(i))->exchangesOk;
    station.Stop();
    std::printf(
        "station CPU, %d meters on pseudo-terminals at one fetch a second for %d s: "
        "%.2f %% of a core (%.2f of %.0f %%), %llu exchanges answered\n",
        kMeters, kCpuSeconds, percent, percent / kCpuTargetPercent, kCpuTargetPercent,
        static_cast<unsigned long long>(ok));
}

}  // namespace

int main() {
    BenchDayOfRows();
    BenchCpu();
    return 0;
}
