// emf and spectrum: fetch once or repeatedly, print the decoded values as CSV (or JSON lines),
// and with --save DIR write measurement files named as auto save names them.

#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>

#include "cli/cli_measure.h"
#include "cli/cli_numbers.h"
#include "cli/json_writer.h"
#include "graph/plot_geometry.h"
#include "link/link_timing.h"
#include "link/local_time.h"
#include "link/serial_port.h"
#include "link/utf8_path.h"
#include "measure/auto_save.h"
#include "measure/measurement.h"
#include "measure/measurement_fetch.h"
#include "measure/measurement_file.h"
#include "measure/spectrum.h"

namespace {

constexpr int64_t kLargestCount = 1000000;
constexpr int64_t kLongestEveryMs = 24LL * 3600 * 1000;
// A spectrum reply has no trailer: before each sweep its place is filled with this mark, and
// a sweep whose last two bytes still hold it was never answered in full.
constexpr uint8_t kUnansweredMark = 0xBB;

struct RepeatOptions {
    int64_t everyMs = 0;  // --every 1 / 500ms
    int count = 1;        // --count N
    std::string saveDir;
    int threshold = kFloorDbm;  // --threshold DBM (spectrum)
    bool isoDates = false;      // --iso-dates (emf): a date column instead of the second
    bool json = false;
};

bool TakeRepeatOption(const std::vector<std::string>& a, size_t* i, RepeatOptions* repeat,
                      bool spectrum) {
    const std::string& word = a[*i];
    if (word == "--iso-dates" && !spectrum) {
        repeat->isoDates = true;
        return true;
    }
    if (*i + 1 >= a.size()) return false;
    const std::string& value = a[++*i];
    int64_t number = 0;
    if (word == "--every") {
        if (!ParseDuration(value, 1, kLongestEveryMs, &repeat->everyMs)) return false;
    } else if (word == "--count") {
        if (!ParseInteger(value, 1, kLargestCount, &number)) return false;
        repeat->count = static_cast<int>(number);
    } else if (word == "--save") {
        repeat->saveDir = value;
    } else if (word == "--threshold" && spectrum) {
        if (!ParseInteger(value, kFloorDbm, 0, &number)) return false;
        repeat->threshold = static_cast<int>(number);
    } else {
        return false;
    }
    return true;
}

bool ParseRepeatOptions(const CliOptions& options, RepeatOptions* repeat, bool spectrum) {
    bool counted = false;
    for (size_t i = 0; i < options.args.size(); ++i) {
        counted = counted || options.args[i] == "--count";
        if (!TakeRepeatOption(options.args, &i, repeat, spectrum)) return false;
    }
    if (repeat->everyMs > 0 && !counted) repeat->count = 0;  // until stopped, unless counted
    repeat->json = options.json;
    return true;
}

bool SaveReading(const RepeatOptions& repeat, const Measurement& reading, int threshold) {
    if (repeat.saveDir.empty()) return true;
    std::string name =
        AutoSaveFileName(reading.kind, AutoSaveStamp(LocalTime(std::time(nullptr))), threshold);
    std::string path = Utf8Of(Utf8Path(repeat.saveDir) / name);
    std::string error;
    if (!WriteMeasurementFile(path, reading.kind, reading.bytes, &error)) {
        std::fprintf(stderr, "ferrolog-cli: cannot write %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    std::fprintf(stderr, "saved %s\n", path.c_str());
    return true;
}

std::string IsoDate(std::time_t when) {
    char text[32];
    const std::tm local = LocalTime(when);
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

void PrintFieldCsv(const FieldBlockData& block, const RepeatOptions& repeat, bool header,
                   std::time_t fetchedAt) {
    if (header)
        std::printf("%s,ef_vm,x_mg,y_mg,z_mg,emf_mg\n", repeat.isoDates ? "time" : "second");
    for (int k = 0; k < kFieldSamples; ++k) {
        const int second = k - (kFieldSamples - 1);
        if (repeat.isoDates)
            std::printf("%s,", IsoDate(fetchedAt + second).c_str());
        else
            std::printf("%d,", second);
        std::printf("%.1f,%.3f,%.3f,%.3f,%.3f\n", block.efSeries[k], block.xSeries[k],
                    block.ySeries[k], block.zSeries[k], block.emfSeries[k]);
    }
}

void PrintFieldJson(const FieldBlockData& block, std::time_t fetchedAt) {
    JsonWriter json;
    json.BeginObject().Key("time").String(IsoDate(fetchedAt)).Key("samples").BeginArray();
    for (int k = 0; k < kFieldSamples; ++k) {
        json.BeginObject().Key("second").Integer(k - (kFieldSamples - 1));
        json.Key("ef_vm").Number(block.efSeries[k]).Key("x_mg").Number(block.xSeries[k]);
        json.Key("y_mg").Number(block.ySeries[k]).Key("z_mg").Number(block.zSeries[k]);
        json.Key("emf_mg").Number(block.emfSeries[k]).EndObject();
    }
    PrintJsonLine(json.EndArray().EndObject());
}

void PrintSpectrum(const SpectrumRecordData& record, const RepeatOptions& repeat, bool header) {
    if (repeat.json) {
        JsonWriter json;
        json.BeginObject().Key("time").String(IsoDate(std::time(nullptr)));
        json.Key("threshold_dbm").Integer(repeat.threshold).Key("bins").BeginArray();
        for (int bin = 0; bin < kSpectrumBins; ++bin)
            json.BeginObject()
                .Key("bin")
                .Integer(bin)
                .Key("frequency_hz")
                .Integer(BinFrequency(record, bin))
                .Key("dbm")
                .Integer(record.dbm[bin])
                .EndObject();
        PrintJsonLine(json.EndArray().EndObject());
        return;
    }
    if (header) std::printf("bin,frequency_hz,dbm\n");
    for (int bin = 0; bin < kSpectrumBins; ++bin)
        std::printf("%d,%u,%d\n", bin, BinFrequency(record, bin), record.dbm[bin]);
}

// Each fetch goes into the run's one reading, so a sweep that is not whole keeps the last one.
using FetchOnce = bool (*)(MeterLink& link, const RepeatOptions&, bool header,
                           Measurement& reading);

bool FetchFieldOnce(MeterLink& link, const RepeatOptions& repeat, bool header,
                    Measurement& reading) {
    if (FetchFieldBlock(link, link.PortNumber, reading) != FetchOutcome::Accepted) {
        if (!ReportIfDisconnected(link)) std::fprintf(stderr, "%s\n", kNoFieldReply);
        return false;
    }
    const std::time_t fetchedAt = std::time(nullptr);
    if (repeat.json)
        PrintFieldJson(reading.field, fetchedAt);
    else
        PrintFieldCsv(reading.field, repeat, header, fetchedAt);
    return SaveReading(repeat, reading, kFloorDbm);  // a field file's name has no threshold
}

bool FetchSpectrumOnce(MeterLink& link, const RepeatOptions& repeat, bool header,
                       Measurement& reading) {
    int sweeps = 0;
    SpectrumFetchHooks hooks;
    hooks.beforeSweep = [&reading] { MarkSweepUnanswered(reading.bytes); };
    FetchOutcome outcome =
        FetchSpectrumSweeps(link, link.PortNumber, repeat.threshold, reading, hooks, &sweeps);
    if (ReportIfDisconnected(link)) return false;
    if (outcome == FetchOutcome::Accepted && !SweepAnswered(reading.bytes)) {
        std::fprintf(stderr, "%s\n", kNoSpectrumReply);
        return false;
    }
    if (outcome != FetchOutcome::Accepted) {
        std::fprintf(stderr, "%s\n",
                     outcome == FetchOutcome::NotFound ? kDbmNotFound : kComportOpenError);
        return false;
    }
    PrintSpectrum(reading.spectrum, repeat, header);
    return SaveReading(repeat, reading, repeat.threshold);
}

int RunRepeated(const CliOptions& options, MeterLink& link, FetchOnce fetch, const char* usage,
                bool spectrum) {
    RepeatOptions repeat;
    if (!ParseRepeatOptions(options, &repeat, spectrum))
        return RefuseUsage(std::string("usage: ") + usage);
    if (!ConnectMeter(options, link)) return kExitFailed;
    // Models without an RF section are told so before the port sees a spectrum request.
    if (spectrum && !SpectrumSupported(link.DeviceModel)) {
        std::fprintf(stderr, "%s\n", kNotSupported);
        return kExitFailed;
    }
    Measurement reading;
    int failures = 0;
    for (int n = 0; repeat.count == 0 || n < repeat.count; ++n) {
        const int64_t started = NowMs();
        if (!fetch(link, repeat, n == 0, reading)) ++failures;
        std::fflush(stdout);
        // A meter that is gone does not come back within a fetch loop.
        if (link.LinkLost) break;
        if (repeat.count != 0 && n + 1 == repeat.count) break;
        SleepMs(static_cast<int>(repeat.everyMs - (NowMs() - started)));
    }
    return failures == 0 ? 0 : kExitFailed;
}

}  // namespace

void MarkSweepUnanswered(MeasurementBytes& bytes) {
    std::memset(bytes.data(), kUnansweredMark, kSpectrumReplyLength);
}

bool SweepAnswered(const MeasurementBytes& bytes) {
    return !(bytes[kSpectrumReplyLength - 1] == kUnansweredMark &&
             bytes[kSpectrumReplyLength - 2] == kUnansweredMark);
}

int RunEmf(const CliOptions& options, MeterLink& link) {
    return RunRepeated(options, link, FetchFieldOnce,
                       "emf [--every 1s] [--count N] [--save DIR] [--iso-dates]", false);
}

int RunSpectrum(const CliOptions& options, MeterLink& link) {
    return RunRepeated(options, link, FetchSpectrumOnce,
                       "spectrum [--threshold DBM] [--every 1s] [--count N] [--save DIR]", true);
}
