// The clock and terminal jobs: sync-time, terminal.

#include "cli/cli_terminal.h"

#include "cli/cli_console.h"
#include "cli/cli_context.h"
#include "cli/json_writer.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "link/clock_sync.h"
#include "link/line_receiver.h"
#include "link/link_timing.h"
#include "link/message_seam.h"
#include "link/serial_port.h"
#include "terminal/terminal_frame.h"

namespace {

constexpr int kReaderPollMs = 20;
constexpr size_t kBytesPerLine = 16;
// At the end of input, replies still on their way are waited for until the line has been
// quiet this long, but never longer than the linger.
constexpr int kQuietBeforeExitMs = 300;
constexpr int kLongestLingerMs = 3000;
constexpr const char* kQuitWord = "quit";
constexpr const char* kSentPrefix = ">> ";
constexpr const char* kReceivedPrefix = "<< ";

// The reader thread and the input loop print side by side; whole lines never interleave.
class ConsoleLines {
  public:
    // What crossed the link is the job's data.
    void Data(const std::string& text) { Print(stdout, text); }
    void Message(const std::string& text) { Print(stderr, text); }

  private:
    void Print(std::FILE* out, const std::string& text) {
        std::lock_guard lock(mutex_);
        std::fprintf(out, "%s\n", text.c_str());
        std::fflush(out);
    }
    std::mutex mutex_;
};

// The program's messages go to stderr, never between two lines of data, for as long as the
// job runs.
class ConsoleMessages {
  public:
    explicit ConsoleMessages(ConsoleLines& lines)
        : previous_(SetMessageHandler([&lines](const std::string& text) { lines.Message(text); })) {
    }
    ~ConsoleMessages() { SetMessageHandler(previous_); }
    ConsoleMessages(const ConsoleMessages&) = delete;
    ConsoleMessages& operator=(const ConsoleMessages&) = delete;

  private:
    MessageHandler previous_;
};

// Prints what the meter sends, as it arrives: up to 16 bytes a line, hexadecimal and characters.
class ReplyPrinter {
  public:
    ReplyPrinter(CSerialPort& port, ConsoleLines& lines)
        : port_(port), lines_(lines), thread_([this] { Run(); }) {}
    ~ReplyPrinter() { Stop(); }
    ReplyPrinter(const ReplyPrinter&) = delete;
    ReplyPrinter& operator=(const ReplyPrinter&) = delete;

    int64_t LastByteAt() const { return lastByteAt_; }

    void Stop() {
        running_ = false;
        if (thread_.joinable()) thread_.join();
    }

  private:
    void Run() {
        ReceiveUntilQuiet(port_, {kReaderPollMs, 0, 0, false}, &running_,
                          [this](const uint8_t* bytes, int count) {
                              if (count <= 0) return;
                              lastByteAt_ = NowMs();
                              PrintBytes(bytes, static_cast<size_t>(count));
                          });
    }

    void PrintBytes(const uint8_t* bytes, size_t count) {
        for (size_t i = 0; i < count; i += kBytesPerLine) {
            const size_t n = std::min(kBytesPerLine, count - i);
            char line[128];
            std::snprintf(line, sizeof line, "%s%-47s  %s", kReceivedPrefix,
                          HexString(bytes + i, n).c_str(), PrintableString(bytes + i, n).c_str());
            lines_.Data(line);
        }
    }

    CSerialPort& port_;
    ConsoleLines& lines_;
    std::atomic<bool> running_{true};
    std::atomic<int64_t> lastByteAt_{0};
    std::thread thread_;
};

// Builds the frame with the terminal's own rules and messages, prints its read-out and
// sends it. Returns true when something was sent.
bool SendTerminalLine(CSerialPort& port, ConsoleLines& lines, const std::string& line) {
    const TerminalLine input = ParseTerminalLine(line);
    const TerminalFrameResult result =
        BuildTerminalFrame(input.command, input.parameters, input.textParameters);
    if (result.status == TerminalFrameStatus::Nothing) return false;
    if (result.status != TerminalFrameStatus::Frame) {
        ShowMessage(TerminalFrameMessage(result.status));
        return false;
    }
    lines.Data(kSentPrefix + FrameReadout(result.frame));
    const int sent = port.Send(result.frame.data(), static_cast<int>(result.frame.size()));
    if (sent == kSendTooLong) ShowMessage(kSendTooLongMessage);
    return sent > 0;
}

std::string WithoutLineEnd(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

void WaitForQuietLine(const ReplyPrinter& printer, int64_t lastSentAt) {
    const int64_t giveUpAt = NowMs() + kLongestLingerMs;
    while (NowMs() < giveUpAt &&
           NowMs() - std::max(printer.LastByteAt(), lastSentAt) < kQuietBeforeExitMs)
        SleepMs(kReaderPollMs);
}

}  // namespace

int RunSyncTime(const CliOptions& options, MeterLink& link) {
    int status = 0;
    if (RefuseArgs(options, &status)) return status;
    ConsoleLines lines;
    ConsoleMessages messages(lines);
    ConnectMeter(options, link);  // a failure shows here and again as "Time Sync Failed! "
    const bool synced = SyncMeterClock(link);
    ShowMessage(TimeSyncMessage(synced));
    if (options.json)
        PrintJsonLine(JsonWriter().BeginObject().Key("synced").Bool(synced).EndObject());
    if (ReportIfDisconnected(link)) return kExitFailed;
    return synced ? 0 : kExitFailed;
}

int RunTerminal(const CliOptions& options, MeterLink& link) {
    int status = 0;
    if (RefuseArgs(options, &status)) return status;
    ConsoleLines lines;
    ConsoleMessages messages(lines);
    if (!OpenMeterPort(options, link)) return kExitFailed;
    lines.Message(PortInfoText(link.port.OpenPortNumber()));
    if (StdinIsTerminal())
        std::fprintf(stderr, "type NAME [HEX PAIRS] or NAME --text TEXT; %s leaves\n", kQuitWord);
    ReplyPrinter printer(link.port, lines);
    int64_t lastSentAt = 0;
    for (std::string line; std::getline(std::cin, line);) {
        line = WithoutLineEnd(line);
        if (line == kQuitWord) break;
        if (SendTerminalLine(link.port, lines, line)) lastSentAt = NowMs();
    }
    WaitForQuietLine(printer, lastSentAt);
    printer.Stop();
    return 0;
}
