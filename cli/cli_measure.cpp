// emf and spectrum: fetch once or repeatedly, print the decoded values as CSV, and with
// --save DIR write measurement files named as auto save names them.

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "cli/cli_measure.h"
#include "graph/plot_geometry.h"
#include "link/link_timing.h"
#include "link/serial_port.h"
#include "measure/auto_save.h"
#include "measure/measurement.h"
#include "measure/measurement_fetch.h"
#include "measure/measurement_file.h"
#include "measure/spectrum.h"

namespace {

struct RepeatOptions {
    int everyMs = 0;  // --every 1s / 500ms
    int count = 1;    // --count N
    std::string saveDir;
    int threshold = kFloorDbm;  // --threshold DBM (spectrum)
};

// "1s", "1.5s", "500ms" or plain milliseconds.
bool ParseInterval(const std::string& text, int* ms) {
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    std::string unit = end;
    if (end == text.c_str() || value <= 0) return false;
    if (unit == "s")
        value *= 1000;
    else if (unit != "ms" && !unit.empty())
        return false;
    *ms = static_cast<int>(value);
    return true;
}

bool ParseRepeatOptions(const CliOptions& options, RepeatOptions* repeat) {
    const auto& a = options.args;
    for (size_t i = 0; i < a.size(); ++i) {
        const bool hasValue = i + 1 < a.size();
        if (a[i] == "--every" && hasValue) {
            if (!ParseInterval(a[++i], &repeat->everyMs)) return false;
            if (repeat->count == 1) repeat->count = 0;  // until stopped, unless counted
        } else if (a[i] == "--count" && hasValue) {
            repeat->count = std::atoi(a[++i].c_str());
            if (repeat->count < 1) return false;
        } else if (a[i] == "--save" && hasValue) {
            repeat->saveDir = a[++i];
        } else if (a[i] == "--threshold" && hasValue) {
            repeat->threshold = std::atoi(a[++i].c_str());
            if (repeat->threshold < kFloorDbm || repeat->threshold > 0) return false;
        } else {
            return false;
        }
    }
    return true;
}

void SaveCurrent(const RepeatOptions& repeat, int threshold) {
    if (repeat.saveDir.empty()) return;
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::string name = AutoSaveFileName(MeasurementKind, AutoSaveStamp(local), threshold);
    std::string path = (std::filesystem::path(repeat.saveDir) / name).string();
    if (WriteCurrentMeasurementFile(path))
        std::fprintf(stderr, "saved %s\n", path.c_str());
    else
        std::fprintf(stderr, "ferrolog-cli: cannot write %s\n", path.c_str());
}

void PrintFieldBlock(bool header) {
    if (header) std::printf("second,ef_vm,x_mg,y_mg,z_mg,emf_mg\n");
    for (int k = 0; k < kFieldSamples; ++k)
        std::printf("%d,%.1f,%.3f,%.3f,%.3f,%.3f\n", k - (kFieldSamples - 1),
                    FieldBlock.efSeries[k], FieldBlock.xSeries[k], FieldBlock.ySeries[k],
                    FieldBlock.zSeries[k], FieldBlock.emfSeries[k]);
}

void PrintSpectrum(bool header) {
    if (header) std::printf("bin,frequency_hz,dbm\n");
    for (int bin = 0; bin < kSpectrumBins; ++bin)
        std::printf("%d,%u,%d\n", bin, BinFrequency(SpectrumRecord, bin), SpectrumRecord.dbm[bin]);
}

using FetchOnce = bool (*)(const RepeatOptions&, bool header);

bool FetchFieldOnce(const RepeatOptions& repeat, bool header) {
    if (FetchFieldBlock(MeterPort, PortNumber) != FetchOutcome::Accepted) {
        std::fprintf(stderr, "%s\n", kNoFieldReply);
        return false;
    }
    PrintFieldBlock(header);
    SaveCurrent(repeat, SearchThreshold);
    return true;
}

bool FetchSpectrumOnce(const RepeatOptions& repeat, bool header) {
    int sweeps = 0;
    FetchOutcome outcome =
        FetchSpectrumSweeps(MeterPort, PortNumber, repeat.threshold, {}, &sweeps);
    if (outcome != FetchOutcome::Accepted) {
        std::fprintf(stderr, "%s\n",
                     outcome == FetchOutcome::NotFound ? kDbmNotFound : kComportOpenError);
        return false;
    }
    PrintSpectrum(header);
    SaveCurrent(repeat, repeat.threshold);
    return true;
}

int RunRepeated(const CliOptions& options, FetchOnce fetch, const char* usage, bool needsSpectrum) {
    RepeatOptions repeat;
    if (!ParseRepeatOptions(options, &repeat)) {
        std::fprintf(stderr, "usage: %s\n", usage);
        return 2;
    }
    if (!ConnectMeter(options, stderr)) return 1;
    // Models without an RF section are told so before the port sees a spectrum request.
    if (needsSpectrum && !SpectrumSupported(DeviceModel)) {
        std::fprintf(stderr, "%s\n", kNotSupported);
        return 1;
    }
    int failures = 0;
    for (int n = 0; repeat.count == 0 || n < repeat.count; ++n) {
        const int64_t started = NowMs();
        if (!fetch(repeat, n == 0)) ++failures;
        std::fflush(stdout);
        if (repeat.count != 0 && n + 1 == repeat.count) break;
        SleepMs(static_cast<int>(repeat.everyMs - (NowMs() - started)));
    }
    return failures == 0 ? 0 : 1;
}

}  // namespace

int RunEmf(const CliOptions& options) {
    return RunRepeated(options, FetchFieldOnce, "emf [--every 1s] [--count N] [--save DIR]", false);
}

int RunSpectrum(const CliOptions& options) {
    return RunRepeated(options, FetchSpectrumOnce,
                       "spectrum [--threshold DBM] [--every 1s] [--count N] [--save DIR]", true);
}
