// record field|spectrum: fetches as the window's recorder does, appends every second (or
// every accepted sweep) once, and keeps going across an unplugged meter until --for ends or
// Ctrl+C; a field recording then fetches once more for the seconds since. Rows go to -o FILE,
// or stream to standard output (also -o -) flushed per row. A recording that got no row, or
// whose meter was gone or silent at its end, fails.

#include "cli/cli_record.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "cli/cli_measure.h"
#include "cli/cli_numbers.h"
#include "cli/cli_signals.h"
#include "cli/json_writer.h"
#include "graph/plot_geometry.h"
#include "link/link_timing.h"
#include "link/meter_identity.h"
#include "link/serial_port.h"
#include "link/utf8_path.h"
#include "measure/measurement.h"
#include "measure/measurement_fetch.h"
#include "measure/spectrum.h"
#include "record/field_recorder.h"
#include "record/recording_file.h"
#include "record/recording_timeline.h"

namespace {

constexpr const char* kRecordUsage =
    "usage: record field|spectrum [--for DURATION] [--every DURATION] [--threshold DBM] "
    "[-o FILE|-] [--json]";
constexpr int64_t kMsPerSecond = 1000;
const std::string kFieldHeaderLine = std::string(kFieldRecordingHeader) + "\n";
constexpr int64_t kFieldEveryMs = 30 * kMsPerSecond;    // half the meter's 60-second memory
constexpr int64_t kSpectrumEveryMs = 1 * kMsPerSecond;  // a sweep a second
// Past this the meter's 60-second memory no longer overlaps from one fetch to the next.
constexpr int64_t kLongestGaplessEveryMs = 55 * kMsPerSecond;
constexpr int64_t kLongestDurationMs = 366LL * 24 * 3600 * kMsPerSecond;
constexpr int kWaitSliceMs = 100;
constexpr int kReidentifyEveryMs = 1000;  // ReidentifyLostMeter at most once a second

struct RecordOptions {
    bool spectrum = false;
    int64_t forMs = 0;  // 0: until stopped
    int64_t everyMs = 0;
    int threshold = kFloorDbm;
    std::string output;  // empty: standard output
    bool json = false;
};

bool ParseRecordOptions(const CliOptions& options, RecordOptions* record) {
    const std::vector<std::string>& a = options.args;
    if (a.empty() || (a[0] != "field" && a[0] != "spectrum")) return false;
    record->spectrum = a[0] == "spectrum";
    record->everyMs = record->spectrum ? kSpectrumEveryMs : kFieldEveryMs;
    record->json = options.json;
    for (size_t i = 1; i < a.size(); ++i) {
        if (a[i] == "--json") {  // also after the job's name, as its usage line shows it
            record->json = true;
            continue;
        }
        if (i + 1 >= a.size()) return false;
        const std::string& word = a[i];
        const std::string& value = a[++i];
        int64_t number = 0;
        if (word == "--for") {
            if (!ParseDuration(value, kMsPerSecond, kLongestDurationMs, &record->forMs))
                return false;
        } else if (word == "--every") {
            if (!ParseDuration(value, kMsPerSecond, kLongestDurationMs, &record->everyMs))
                return false;
        } else if (word == "-o") {
            if (value.empty()) return false;
            record->output = value == "-" ? "" : value;
        } else if (word == "--threshold" && record->spectrum) {
            if (!ParseInteger(value, kFloorDbm, 0, &number)) return false;
            record->threshold = static_cast<int>(number);
        } else {
            return false;
        }
    }
    return true;
}

// Ctrl+C, SIGTERM and SIGHUP end the recording after the rows in hand are written.
void StopOnSignals(std::atomic<bool>* stop) {
    RaiseOnEndRequests(stop);
}

// Where the rows go: the recording file, or standard output as CSV or JSON lines.
class RowSink {
  public:
    RowSink(const RecordOptions& record, Clock& clock) : record_(record), clock_(clock) {}

    // Rows under `header`; the first rows open the file (or print the header), so a recording
    // that never got a row leaves no file.
    bool Put(const std::string& header, const std::string& csv, const JsonWriter* json) {
        if (!opened_ && !Open(header)) return false;
        if (!Write(csv, json)) return false;
        ++rows_;
        return true;
    }

    int64_t Rows() const { return rows_; }
    bool FileLost() const { return file_.NameLost(); }

    bool Sync() {
        std::string error;
        if (file_.SyncIfDue(clock_.NowMs(), &error)) return true;
        std::fprintf(stderr, "ferrolog-cli: %s\n", error.c_str());
        return false;
    }

    bool Close() {
        std::string error;
        const bool closed = file_.Close(&error);
        TellNotice();
        if (closed) return true;
        std::fprintf(stderr, "ferrolog-cli: %s\n", error.c_str());
        return false;
    }

  private:
    bool Write(const std::string& csv, const JsonWriter* json) {
        if (record_.output.empty()) return Print(json ? json->Text() + '\n' : csv);
        std::string error;
        const bool appended = file_.Append(csv, clock_.NowMs(), &error);
        TellNotice();
        if (appended) return true;
        std::fprintf(stderr, "ferrolog-cli: %s\n", error.c_str());
        return false;
    }

    void TellNotice() {
        const std::string notice = file_.TakeNotice();
        if (!notice.empty()) std::fprintf(stderr, "ferrolog-cli: %s\n", notice.c_str());
    }

    bool Open(const std::string& header) {
        opened_ = true;
        if (record_.output.empty()) return record_.json || Print(header);
        std::string error;
        if (file_.Create(record_.output, header, &error)) return true;
        std::fprintf(stderr, "ferrolog-cli: %s\n", error.c_str());
        return false;
    }

    bool Print(const std::string& text) {
        if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
            std::fflush(stdout) == 0)
            return true;
        std::fprintf(stderr, "ferrolog-cli: cannot write to standard output\n");
        return false;
    }

    const RecordOptions& record_;
    Clock& clock_;
    RecordingFile file_;
    bool opened_ = false;
    int64_t rows_ = 0;
};

JsonWriter FieldJson(const FieldRow& row) {
    JsonWriter json;
    json.BeginObject().Key("time").String(IsoLocalTime(row.time));
    json.Key("x_mg").Number(row.xMg).Key("y_mg").Number(row.yMg).Key("z_mg").Number(row.zMg);
    json.Key("emf_mg").Number(row.emfMg).Key("ef_vm").Number(row.efVm).EndObject();
    return json;
}

JsonWriter SpectrumJson(const SpectrumRow& row) {
    JsonWriter json;
    json.BeginObject().Key("time").String(IsoLocalTime(row.time)).Key("frequency_hz").BeginArray();
    for (uint32_t hz : row.frequencyHz)
        json.Integer(hz);
    json.EndArray().Key("dbm").BeginArray();
    for (int8_t level : row.dbm)
        json.Integer(level);
    json.EndArray().EndObject();
    return json;
}

// What a fetch that was not accepted tells; nothing for a stop or a lost meter (the recording
// loop tells that one).
const char* FetchProblem(FetchOutcome outcome, bool spectrum) {
    switch (outcome) {
        case FetchOutcome::NoWholeReply:
            return spectrum ? kNoSpectrumReply : kNoFieldReply;
        case FetchOutcome::NotFound:
            return kDbmNotFound;
        case FetchOutcome::OpenFailed:
            return kComportOpenError;
        default:
            return nullptr;
    }
}

// One fetch and its rows. False when the rows could not be written.
class Fetcher {
  public:
    Fetcher(MeterLink& link, const RecordOptions& record, RowSink& sink)
        : link_(link), clock_(link.port.clock()), record_(record), sink_(sink) {}

    bool FetchAndWrite(const std::atomic<bool>* stop) {
        return record_.spectrum ? SpectrumOnce(stop) : FieldOnce(stop);
    }

    // The meter holds the seconds since the last field fetch: the end of a recording fetches
    // them, past the stop signal (the fetch's own bound still holds). A sweep holds only the
    // present moment.
    bool FetchTheEnd() { return record_.spectrum || FieldOnce(nullptr); }

    // False when the last fetch that was not stopped went unanswered.
    bool MeterAnswering() const { return answering_; }
    int64_t LastRowTime() const { return lastRowTime_; }

  private:
    // Tells what the outcome means; true when it was accepted.
    bool Note(FetchOutcome outcome) {
        if (outcome == FetchOutcome::Stopped || outcome == FetchOutcome::Disconnected) return false;
        // No sweep reaching the threshold is an answer too.
        answering_ = outcome == FetchOutcome::Accepted || outcome == FetchOutcome::NotFound;
        if (const char* problem = FetchProblem(outcome, record_.spectrum))
            std::fprintf(stderr, "%s\n", problem);
        return outcome == FetchOutcome::Accepted;
    }

    bool FieldOnce(const std::atomic<bool>* stop) {
        if (!Note(FetchFieldBlock(link_, link_.PortNumber, reading_, stop))) return true;
        const std::vector<FieldRow> rows = recorder_.AddBlock(
            ReadFieldCounts(reading_.bytes), reading_.field, clock_.RecordingMs(), clock_.WallMs());
        for (const FieldRow& row : rows) {
            const JsonWriter json = FieldJson(row);
            if (!sink_.Put(kFieldHeaderLine, FieldCsvLine(row), record_.json ? &json : nullptr))
                return false;
            lastRowTime_ = row.time;
        }
        return true;
    }

    bool SpectrumOnce(const std::atomic<bool>* stop) {
        SpectrumFetchHooks hooks;
        hooks.beforeSweep = [this] { MarkSweepUnanswered(reading_.bytes); };
        FetchOutcome outcome = FetchSpectrumSweeps(link_, link_.PortNumber, record_.threshold,
                                                   reading_, hooks, nullptr, stop);
        if (outcome == FetchOutcome::Accepted && !SweepAnswered(reading_.bytes))
            outcome = FetchOutcome::NoWholeReply;
        if (!Note(outcome)) return true;
        SpectrumRow row;
        row.time = timeline_.TimeAt(clock_.RecordingMs(), clock_.WallMs());
        row.dbm = reading_.spectrum.dbm;
        for (int bin = 0; bin < kSpectrumBins; ++bin)
            row.frequencyHz[bin] = BinFrequency(reading_.spectrum, bin);
        lastRowTime_ = row.time;
        const std::string header = SpectrumCsvHeader(row);
        if (record_.json) {
            const JsonWriter json = SpectrumJson(row);
            return sink_.Put(header, "", &json);
        }
        // A band changed on the meter starts a new section under its own header.
        const bool newBand = last_ && !SameBins(*last_, row);
        last_ = row;
        return sink_.Put(header, (newBand ? header : "") + SpectrumCsvLine(row), nullptr);
    }

    MeterLink& link_;
    Clock& clock_;  // the port's: the rows' times
    const RecordOptions& record_;
    RowSink& sink_;
    Measurement reading_;  // the recording's own
    FieldRecorder recorder_;
    RecordingTimeline timeline_;  // the sweeps' times
    std::optional<SpectrumRow> last_;
    bool answering_ = true;
    int64_t lastRowTime_ = 0;
};

}  // namespace

namespace {

// The recording's clock: when it ends, when the next fetch is due, and a wait that a stop
// signal cuts short while the file keeps its sync schedule.
class RecordClock {
  public:
    RecordClock(Clock& clock, int64_t forMs, const std::atomic<bool>& stop)
        : clock_(clock), endMs_(forMs > 0 ? clock.NowMs() + forMs : 0), stop_(stop) {}

    int64_t NowMs() const { return clock_.NowMs(); }
    bool Over() const { return stop_ || (endMs_ != 0 && NowMs() >= endMs_); }

    // Waits until `untilMs`, the end or a stop. False when the file could not be synced.
    bool WaitUntil(int64_t untilMs, RowSink& sink) const {
        while (!Over() && NowMs() < untilMs) {
            if (!sink.Sync()) return false;
            int64_t slice = std::min<int64_t>(kWaitSliceMs, untilMs - NowMs());
            if (endMs_ != 0) slice = std::min(slice, endMs_ - NowMs());
            clock_.SleepMs(static_cast<int>(std::max<int64_t>(slice, 1)));
        }
        return true;
    }

  private:
    Clock& clock_;
    int64_t endMs_;
    const std::atomic<bool>& stop_;
};

// While the meter is away: one quiet identification a second until it answers.
bool WaitForMeter(MeterLink& link, const RecordClock& clock, RowSink& sink) {
    std::fprintf(stderr, "%s Recording goes on when it is back.\n", kMeterDisconnected);
    while (!clock.Over()) {
        if (ReidentifyLostMeter(link)) {
            std::fprintf(stderr, "The meter is back; recording goes on.\n");
            return true;
        }
        if (!clock.WaitUntil(clock.NowMs() + kReidentifyEveryMs, sink)) return false;
    }
    return true;
}

void TellRowsRecorded(const RecordOptions& record, const RowSink& sink) {
    const long long rows = static_cast<long long>(sink.Rows());
    if (record.output.empty() || rows == 0)  // no row, no file
        std::fprintf(stderr, "%lld rows recorded.\n", rows);
    else if (sink.FileLost())
        std::fprintf(stderr, "%lld rows recorded, but %s no longer holds them.\n", rows,
                     record.output.c_str());
    else
        std::fprintf(stderr, "%lld rows recorded in %s.\n", rows, record.output.c_str());
}

// False, having said why, when the recording has no row or its meter was gone or silent at
// its end: the rows stop short of what was asked.
bool RecordedToTheEnd(const MeterLink& link, const Fetcher& fetcher, const RowSink& sink) {
    if (link.LinkLost) {
        std::fprintf(stderr, "%s\n", kMeterDisconnected);
        return false;
    }
    if (sink.Rows() == 0) {
        std::fprintf(stderr, "ferrolog-cli: nothing was recorded\n");
        return false;
    }
    if (fetcher.MeterAnswering()) return true;
    std::fprintf(stderr, "ferrolog-cli: the meter stopped answering; the last row is at %s\n",
                 IsoLocalTime(fetcher.LastRowTime()).c_str());
    return false;
}

int RecordUntilStopped(MeterLink& link, const RecordOptions& record, std::atomic<bool>& stop) {
    // The port's clock: the real one in the program, a test's virtual one under its meter.
    RowSink sink(record, link.port.clock());
    Fetcher fetcher(link, record, sink);
    const RecordClock clock(link.port.clock(), record.forMs, stop);
    bool written = true;
    while (written && !clock.Over()) {
        if (link.LinkLost) {
            written = WaitForMeter(link, clock, sink);
            continue;
        }
        const int64_t started = clock.NowMs();
        written = fetcher.FetchAndWrite(&stop) &&
                  (link.LinkLost || clock.WaitUntil(started + record.everyMs, sink));
    }
    if (written && !link.LinkLost) written = fetcher.FetchTheEnd();
    const bool closed = sink.Close();
    TellRowsRecorded(record, sink);
    if (!written || !closed) return kExitFailed;
    return RecordedToTheEnd(link, fetcher, sink) ? 0 : kExitFailed;
}

}  // namespace

int RunRecord(const CliOptions& options, MeterLink& link) {
    RecordOptions record;
    if (!ParseRecordOptions(options, &record)) return RefuseUsage(kRecordUsage);
    if (record.json && !record.output.empty())
        return RefuseUsage("record -o FILE writes CSV; --json is for standard output");
    if (!record.output.empty() && std::filesystem::exists(Utf8Path(record.output))) {
        std::fprintf(stderr, "ferrolog-cli: %s already exists\n", record.output.c_str());
        return kExitFailed;
    }
    if (!record.spectrum && record.everyMs > kLongestGaplessEveryMs)
        std::fprintf(stderr, "A fetch less often than every %lld s leaves gaps.\n",
                     static_cast<long long>(kLongestGaplessEveryMs / kMsPerSecond));
    if (!ConnectMeter(options, link)) return kExitFailed;
    if (record.spectrum && !SpectrumSupported(link.DeviceModel)) {
        std::fprintf(stderr, "%s\n", kNotSupported);
        return kExitFailed;
    }
    std::atomic<bool> stop{false};
    StopOnSignals(&stop);
    return RecordUntilStopped(link, record, stop);
}
