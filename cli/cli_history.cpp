// The history jobs: history, history-csv.

#include "cli/cli_history.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "cli/cli_console.h"
#include "cli/cli_signals.h"
#include "cli/json_writer.h"
#include "history/history_csv.h"
#include "history/history_download.h"
#include "history/history_record_walk.h"
#include "link/link_timing.h"
#include "link/message_seam.h"
#include "link/meter_identity.h"
#include "link/port_guard.h"
#include "link/serial_port.h"
#include "link/utf8_path.h"
#include "measure/whole_file.h"

namespace {

constexpr const char* kHistoryUsage =
    "usage: history FILE [--force]  (writes FILE.bin and FILE.csv; --force overwrites them)";
constexpr const char* kForceOption = "--force";
// Ctrl+C ended the download early: what had arrived is saved, and the status says so, as a
// shell's would for a program ended by SIGINT.
constexpr int kExitInterrupted = 128 + SIGINT;
constexpr const char* kHistoryCsvUsage =
    "usage: history-csv DUMP.bin OUT.csv [--iso-dates] [--force]  (--force overwrites OUT.csv)";
constexpr const char* kIsoDatesOption = "--iso-dates";
constexpr int kBarCells = 32;
constexpr int kFullPercent = 100;
constexpr int kLogStepPercent = 10;  // without a terminal, one line per 10 %
constexpr double kBytesPerKilobyte = 1000.0;
constexpr int64_t kMsPerSecond = 1000;
constexpr int kSecondsPerMinute = 60;
// A dump is the counted part of the 1 MiB memory; a little more is tolerated, nothing near
// what /dev/zero or a stray file would give.
constexpr size_t kLargestDump = kHistoryMemorySize + kHistoryBlockSize;

// Ctrl+C keeps its usual meaning until there is something to save; a second one still ends
// the program at once.
void SaveOnInterrupt(std::atomic<bool>* stopSave) {
    RaiseOnSignals(stopSave, {SIGINT}, true);
}

void RestoreInterrupt() {
    StopRaisingOnSignals({SIGINT});
}

// "14.2 KB/s, 01:10 left" for the whole memory at the rate so far.
std::string RateText(size_t bytes, int64_t elapsedMs) {
    if (elapsedMs <= 0 || bytes == 0) return "";
    const double perSecond = static_cast<double>(bytes) * kMsPerSecond / elapsedMs;
    const auto left = static_cast<int>((kHistoryMemorySize - bytes) / perSecond);
    char text[64];
    std::snprintf(text, sizeof text, " %.1f KB/s, %02d:%02d left", perSecond / kBytesPerKilobyte,
                  left / kSecondsPerMinute, left % kSecondsPerMinute);
    return text;
}

// "[#####...........] 123KB 14.2 KB/s, 01:10 left"
std::string ProgressBar(int percent, size_t bytes, const std::string& rate) {
    const int filled = percent * kBarCells / kFullPercent;
    std::string line = "[" + std::string(static_cast<size_t>(filled), '#') +
                       std::string(static_cast<size_t>(kBarCells - filled), '.') + "] ";
    return line + std::to_string(bytes / 1000) + "KB" + rate;
}

// The dialog on a console: on a terminal a progress bar redrawn in place on stderr, otherwise
// one line per 10 %; the status texts that end a download as messages once the files are
// written.
class ConsoleHistoryView : public HistoryView {
  public:
    explicit ConsoleHistoryView(std::string file)
        : file_(std::move(file)), onTerminal_(StderrIsTerminal()), startedAt_(NowMs()) {}
    ~ConsoleHistoryView() override { EndBar(); }

    // The flag Ctrl+C sets once the download has begun.
    void SaveOnInterruptInto(std::atomic<bool>* stopSave) { stopSave_ = stopSave; }

    std::optional<std::string> ChooseSavePath(const std::string&) override {
        if (stopSave_) SaveOnInterrupt(stopSave_);
        startedAt_ = NowMs();
        return file_;
    }
    void SetStatus(const std::string& text) override { status_ = text; }
    void SetProgress(int percent, size_t bytes) override {
        const std::string rate = RateText(bytes, NowMs() - startedAt_);
        if (onTerminal_)
            DrawBar(ProgressBar(percent, bytes, rate));
        else
            LogStep(percent, bytes, rate);
    }
    void SetDownloadCaption(const std::string&) override {}
    void SetExitCaption(const std::string&) override {}
    // Said only once the files are written: a download whose files are lost is no success.
    void ShowFinished(const std::string& text) override {
        EndBar();
        finished_ = text;
    }

    const std::string& Finished() const { return finished_; }

    void ShowLastStatus(const MeterLink& link) {
        EndBar();
        if (!ReportIfDisconnected(link)) ShowMessage(status_);
    }

  private:
    void DrawBar(const std::string& line) {
        if (line == bar_) return;
        bar_ = line;
        std::fprintf(stderr, "\r%s", bar_.c_str());
        std::fflush(stderr);
    }

    void LogStep(int percent, size_t bytes, const std::string& rate) {
        const int step = percent / kLogStepPercent;
        if (step <= loggedStep_) return;
        loggedStep_ = step;
        std::fprintf(stderr, "history: %d%% %zuKB%s\n", percent, bytes / 1000, rate.c_str());
    }

    void EndBar() {
        if (bar_.empty()) return;
        std::fprintf(stderr, "\n");
        bar_.clear();
    }

    std::string file_;
    bool onTerminal_;
    int64_t startedAt_;
    std::atomic<bool>* stopSave_ = nullptr;
    std::string status_;
    std::string finished_;
    std::string bar_;
    int loggedStep_ = 0;
};

int Usage(const char* usage) {
    std::fprintf(stderr, "%s\n", usage);
    return kExitUsage;
}

// A private folder the download writes its own files into; the job writes the chosen files
// itself from the downloaded memory, whole or not at all.
class ScratchFolder {
  public:
    ScratchFolder() : path_(MakePrivateFolder("ferrolog-history")) {}
    ~ScratchFolder() {
        std::error_code error;
        if (!path_.empty()) std::filesystem::remove_all(Utf8Path(path_), error);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

bool WriteOrSay(const std::string& path, std::string_view bytes) {
    std::string error;
    if (WriteFileWhole(path, bytes, &error)) return true;
    std::fprintf(stderr, "ferrolog-cli: cannot write %s: %s\n", path.c_str(), error.c_str());
    return false;
}

// A download takes minutes: a folder that cannot take the files is found out before it starts,
// by creating (and removing) a temporary file where the dump's temporary file will go.
bool FilesCanBeCreated(const HistoryOutputFiles& names) {
    std::string error;
    if (CanCreateBeside(names.bin, &error)) return true;
    std::fprintf(stderr, "ferrolog-cli: cannot write %s: %s\n", names.bin.c_str(), error.c_str());
    return false;
}

// Both files or neither: a CSV that cannot be written takes its dump with it.
bool WriteHistoryFilesOrSay(const HistoryOutputFiles& names, const uint8_t* memory,
                            size_t countedBytes) {
    std::string failed;
    std::string error;
    if (WriteHistoryFiles(names, memory, countedBytes, &failed, &error)) return true;
    std::fprintf(stderr, "ferrolog-cli: cannot write %s: %s\n", failed.c_str(), error.c_str());
    return false;
}

// Without --force no file the job writes may be there already: a CSV may be a spreadsheet
// the user has worked on.
bool NoneInTheWay(std::initializer_list<std::string> paths, bool force) {
    if (force) return true;
    for (const std::string& path : paths) {
        std::error_code error;
        if (std::filesystem::symlink_status(Utf8Path(path), error).type() ==
            std::filesystem::file_type::not_found)
            continue;
        std::fprintf(stderr, "ferrolog-cli: %s already exists (%s overwrites it)\n", path.c_str(),
                     kForceOption);
        return false;
    }
    return true;
}

// A time stamp the meter's clock cannot have held: the file is no history dump (or a spoiled
// one), and its table would be made-up dates.
bool DatesArePossible(const std::string& dumpPath, const uint8_t* memory, size_t count) {
    const std::optional<size_t> at = FirstImpossibleStamp(memory, count);
    if (!at) return true;
    std::fprintf(
        stderr, "ferrolog-cli: %s is no history dump: the time stamp at byte %zu reads %s\n",
        dumpPath.c_str(), *at, HistoryStampText(memory + *at + kHistoryMarkerSize).c_str());
    return false;
}

void PrintWritten(const CliOptions& options, const HistoryOutputFiles& names,
                  const HistoryResult& result) {
    if (!options.json) {
        std::printf("%s\n%s\n", names.csv.c_str(), names.bin.c_str());
        return;
    }
    JsonWriter json;
    json.BeginObject().Key("csv").String(names.csv).Key("bin").String(names.bin);
    json.Key("bytes").Integer(static_cast<int64_t>(result.countedBytes));
    PrintJsonLine(json.Key("stopped").Bool(result.stopSaved).EndObject());
}

int Download(const CliOptions& options, MeterLink& link, const std::string& file, bool force) {
    const HistoryOutputFiles names = HistoryOutputNames(file);
    if (!FilesCanBeCreated(names)) return kExitFailed;
    ScratchFolder scratch;
    if (scratch.Path().empty()) {
        std::fprintf(stderr, "ferrolog-cli: no temporary folder for the download\n");
        return kExitFailed;
    }
    ConsoleHistoryView view(scratch.Path() + "/history");
    HistoryDownload download(link.port, view);
    view.SaveOnInterruptInto(&download.Flags().HistoryStopSave);
    const HistoryResult result = download.Run();
    RestoreInterrupt();
    if (result.outcome != HistoryOutcome::Finished) {
        view.ShowLastStatus(link);
        return kExitFailed;
    }
    // The download takes minutes: a file may have come meanwhile.
    if (!NoneInTheWay({names.csv, names.bin}, force) ||
        !WriteHistoryFilesOrSay(names, download.Memory(), result.countedBytes))
        return kExitFailed;
    ShowMessage(result.stopSaved ? HistoryStoppedStatus(result.countedBytes) : view.Finished());
    PrintWritten(options, names, result);
    return result.stopSaved ? kExitInterrupted : 0;
}

}  // namespace

int RunHistory(const CliOptions& options, MeterLink& link) {
    std::vector<std::string> files;
    bool force = false;
    for (const std::string& word : options.args) {
        if (word == kForceOption)
            force = true;
        else if (word.empty() || word[0] == '-')
            return Usage(kHistoryUsage);
        else
            files.push_back(word);
    }
    if (files.size() != 1) return Usage(kHistoryUsage);
    const HistoryOutputFiles names = HistoryOutputNames(files[0]);
    if (!NoneInTheWay({names.csv, names.bin}, force)) return kExitFailed;
    if (!ConnectMeter(options, link)) return kExitFailed;
    if (!HistoryDownloadAllowed(link.DeviceModel)) {
        ShowMessage(kOnlyWithZtx440);
        return kExitFailed;
    }
    PortGuard guard(link, PortHolder::Dialog);
    return Download(options, link, files[0], force);
}

int RunHistoryCsv(const CliOptions& options, MeterLink&) {
    std::vector<std::string> paths;
    HistoryDateStyle style = HistoryDateStyle::Meter;
    bool force = false;
    for (const std::string& word : options.args) {
        if (word == kIsoDatesOption)
            style = HistoryDateStyle::Iso;
        else if (word == kForceOption)
            force = true;
        else if (word.size() > 1 && word[0] == '-')
            return Usage(kHistoryCsvUsage);
        else
            paths.push_back(word);
    }
    if (paths.size() != 2) return Usage(kHistoryCsvUsage);
    const std::string& dumpPath = paths[0];
    const std::string& csvPath = paths[1];
    if (!NoneInTheWay({csvPath}, force)) return kExitFailed;
    std::string dump;
    std::string error;
    if (!ReadRegularFile(dumpPath, kLargestDump, &dump, &error)) {
        std::fprintf(stderr, "ferrolog-cli: cannot read %s: %s\n", dumpPath.c_str(), error.c_str());
        return kExitFailed;
    }
    const auto* memory = reinterpret_cast<const uint8_t*>(dump.data());
    if (!DatesArePossible(dumpPath, memory, dump.size())) return kExitFailed;
    if (!WriteOrSay(csvPath, HistoryCsvText(memory, dump.size(), style))) return kExitFailed;
    std::printf("%s\n", csvPath.c_str());
    return 0;
}
