// The history jobs: history, history-csv.

#include "cli/cli_history.h"

#include <signal.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "history/history_csv.h"
#include "history/history_download.h"
#include "link/link_flags.h"
#include "link/message_seam.h"
#include "link/meter_identity.h"
#include "link/serial_port.h"

namespace {

constexpr const char* kHistoryUsage = "usage: history FILE  (writes FILE.bin and FILE.csv)";
constexpr const char* kHistoryCsvUsage = "usage: history-csv DUMP.bin OUT.csv";
constexpr int kBarCells = 32;
constexpr int kFullPercent = 100;

// Ctrl+C during a download: the signal handler may only store into a lock-free atomic.
std::atomic<std::atomic<bool>*> interruptTarget{nullptr};

void OnInterrupt(int) {
    if (std::atomic<bool>* stopSave = interruptTarget.load()) stopSave->store(true);
}

// Ctrl+C keeps its usual meaning until there is something to save; a second one still ends
// the program at once.
void SaveOnInterrupt(std::atomic<bool>* stopSave) {
    interruptTarget = stopSave;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

void RestoreInterrupt() {
    std::signal(SIGINT, SIG_DFL);
    interruptTarget = nullptr;
}

// "[#####...........] 123KB"
std::string ProgressLine(int percent, size_t bytes) {
    const int filled = percent * kBarCells / kFullPercent;
    std::string line = "[" + std::string(static_cast<size_t>(filled), '#') +
                       std::string(static_cast<size_t>(kBarCells - filled), '.') + "] ";
    return line + std::to_string(bytes / 1000) + "KB";
}

// The dialog on a console: the progress bar redrawn in place on stderr, the status texts that
// end a download as messages.
class ConsoleHistoryView : public HistoryView {
  public:
    explicit ConsoleHistoryView(std::string file) : file_(std::move(file)) {}
    ~ConsoleHistoryView() override { EndBar(); }

    // The flag Ctrl+C sets once the download has begun.
    void SaveOnInterruptInto(std::atomic<bool>* stopSave) { stopSave_ = stopSave; }

    std::optional<std::string> ChooseSavePath(const std::string&) override {
        if (stopSave_) SaveOnInterrupt(stopSave_);
        return file_;
    }
    void SetStatus(const std::string& text) override { status_ = text; }
    void SetProgress(int percent, size_t bytes) override {
        const std::string line = ProgressLine(percent, bytes);
        if (line == bar_) return;
        bar_ = line;
        std::fprintf(stderr, "\r%s", bar_.c_str());
        std::fflush(stderr);
    }
    void SetDownloadCaption(const std::string&) override {}
    void SetExitCaption(const std::string&) override {}
    void ShowFinished(const std::string& text) override {
        EndBar();
        ShowMessage(text);
    }

    void ShowLastStatus() {
        EndBar();
        ShowMessage(status_);
    }

  private:
    void EndBar() {
        if (bar_.empty()) return;
        std::fprintf(stderr, "\n");
        bar_.clear();
    }

    std::string file_;
    std::atomic<bool>* stopSave_ = nullptr;
    std::string status_;
    std::string bar_;
};

int Usage(const char* usage) {
    std::fprintf(stderr, "%s\n", usage);
    return 2;
}

int Download(const std::string& file) {
    ConsoleHistoryView view(file);
    HistoryDownload download(MeterPort, view);
    view.SaveOnInterruptInto(&download.Flags().HistoryStopSave);
    const HistoryResult result = download.Run();
    RestoreInterrupt();
    if (result.outcome != HistoryOutcome::Finished) {
        view.ShowLastStatus();
        return 1;
    }
    std::printf("%s\n%s\n", result.files.csv.c_str(), result.files.bin.c_str());
    return 0;
}

bool ReadDump(const std::string& path, std::vector<uint8_t>* dump) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    dump->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

int RunHistory(const CliOptions& options) {
    if (options.args.size() != 1 || options.args[0].empty()) return Usage(kHistoryUsage);
    if (!ConnectMeter(options, stderr)) return 1;
    if (!HistoryDownloadAllowed(DeviceModel)) {
        ShowMessage(kOnlyWithZtx440);
        return 1;
    }
    TakePortForAction();
    const int status = Download(options.args[0]);
    ReleasePortFromAction();
    return status;
}

int RunHistoryCsv(const CliOptions& options) {
    if (options.args.size() != 2) return Usage(kHistoryCsvUsage);
    const std::string& dumpPath = options.args[0];
    const std::string& csvPath = options.args[1];
    std::vector<uint8_t> dump;
    if (!ReadDump(dumpPath, &dump)) {
        std::fprintf(stderr, "cannot read %s: %s\n", dumpPath.c_str(), std::strerror(errno));
        return 1;
    }
    std::ofstream out(csvPath, std::ios::binary | std::ios::trunc);
    if (out) WriteHistoryCsv(dump.data(), dump.size(), out);
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write %s: %s\n", csvPath.c_str(), std::strerror(errno));
        return 1;
    }
    std::printf("%s\n", csvPath.c_str());
    return 0;
}
