// The link jobs: ports, scan, identify, send, key, hold.

#include <cstdio>
#include <cstdlib>

#include "cli/cli_context.h"
#include "cli/cli_numbers.h"
#include "cli/json_writer.h"
#include "link/command_exchange.h"
#include "link/line_receiver.h"
#include "link/link_timing.h"
#include "link/port_table.h"
#include "link/serial_port.h"
#include "terminal/terminal_frame.h"

namespace {

constexpr int kSendPollMs = 5;
constexpr int kSendQuietMs = 100;  // a reply has ended once the line is quiet this long

constexpr int kSendReplyWaitMs = 500;
// Closing the port purges what has not left yet, so a key job lets its frame leave first.

// "send NAME [HEX PAIRS | --text TEXT]": the words make one terminal line, read by the
// terminal's own parser, so quoting the line or not sends the same frame.
std::string JoinWords(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words)
        line += (line.empty() ? "" : " ") + word;
    return line;
}

// Collects what the meter sends until it has been quiet for a while or the wait ends.
Bytes CollectReply(CSerialPort& port, int waitMs) {
    Bytes reply;
    ReceiveUntilQuiet(
        port, {kSendPollMs, kSendQuietMs, waitMs, true}, nullptr,
        [&](const uint8_t* bytes, int count) { reply.insert(reply.end(), bytes, bytes + count); });
    return reply;
}

void PrintReply(const Bytes& reply) {
    for (size_t i = 0; i < reply.size(); i += 16) {
        size_t n = std::min<size_t>(16, reply.size() - i);
        std::printf("%06zx  %-47s  %s\n", i, HexString(reply.data() + i, n).c_str(),
                    PrintableString(reply.data() + i, n).c_str());
    }
}

int SendKeyFrame(const CliOptions& options, MeterLink& link, const char* prefix, int low,
                 int high) {
    int64_t key = 0;
    if (options.args.size() != 1 || !ParseInteger(options.args[0], low, high, &key))
        return RefuseUsage(options.command + " takes one key number from " + std::to_string(low) +
                           " to " + std::to_string(high));
    if (!OpenMeterPort(options, link)) return kExitFailed;
    Bytes frame = BuildFrame(std::string(prefix) + std::to_string(key));
    const bool sent = link.port.Send(frame.data(), static_cast<int>(frame.size())) ==
                      static_cast<int>(frame.size());
    if (ReportIfDisconnected(link) || !sent) return kExitFailed;
    std::fprintf(stderr, "sent %s\n", HexString(frame).c_str());
    return 0;
}

void PrintMeterJson(const MeterLink& link, bool found) {
    JsonWriter json;
    json.BeginObject().Key("found").Bool(found);
    if (found) {
        json.Key("com").Integer(link.PortNumber.load());
        json.Key("path").String(link.port.Ports().PathOf(link.PortNumber));
        json.Key("model").Integer(link.DeviceModel.load());
        json.Key("name").String(ModelName(link.DeviceModel));
        json.Key("revision").Number(link.FirmwareRevision.load());
    }
    PrintJsonLine(json.EndObject());
}

}  // namespace

int RunPorts(const CliOptions& options, MeterLink& link) {
    int status = 0;
    if (RefuseArgs(options, &status)) return status;
    JsonWriter json;
    json.BeginObject().Key("ports").BeginArray();
    for (int n = 1; n <= PortTable::kPortCount; ++n) {
        std::string path = link.port.Ports().PathOf(n);
        if (path.empty()) continue;
        const std::string name = PortFriendlyName(path);
        if (options.json) {
            json.BeginObject().Key("com").Integer(n).Key("path").String(path);
            if (!name.empty()) json.Key("name").String(name);
            json.EndObject();
        } else {
            std::printf("COM%-3d %s%s%s\n", n, path.c_str(), name.empty() ? "" : "  ",
                        name.c_str());
        }
    }
    if (options.json) PrintJsonLine(json.EndArray().EndObject());
    return 0;
}

int RunScan(const CliOptions& options, MeterLink& link) {
    int status = 0;
    if (RefuseArgs(options, &status)) return status;
    ConsoleView view(options.verbose, link.port);
    const bool found = ScanAndExplain(link, view);
    if (options.json)
        PrintMeterJson(link, found);
    else if (found)
        std::printf("COM%d %s\n", link.PortNumber.load(),
                    link.port.Ports().PathOf(link.PortNumber).c_str());
    return found ? 0 : kExitFailed;
}

int RunIdentify(const CliOptions& options, MeterLink& link) {
    int status = 0;
    if (RefuseArgs(options, &status)) return status;
    const bool found = ConnectMeter(options, link);
    if (options.json)
        PrintMeterJson(link, found);
    else if (found)
        std::printf("model %d (%s), revision %.2f, COM%d\n", link.DeviceModel.load(),
                    ModelName(link.DeviceModel), link.FirmwareRevision.load(),
                    link.PortNumber.load());
    return found ? 0 : kExitFailed;
}

// The reply is printed as it came; no reply within the wait is said on stderr but is no
// failure by itself, since some commands (the keys among them) never answer.
int RunSend(const CliOptions& options, MeterLink& link) {
    const TerminalLine line = ParseTerminalLine(JoinWords(options.args));
    const TerminalFrameResult result =
        BuildTerminalFrame(line.command, line.parameters, line.textParameters);
    if (result.status == TerminalFrameStatus::Nothing)
        return RefuseUsage("usage: send NAME [HEX PAIRS | --text TEXT]");
    if (result.status != TerminalFrameStatus::Frame) {
        std::fprintf(stderr, "%s\n", TerminalFrameMessage(result.status));
        return kExitUsage;
    }
    const Bytes& frame = result.frame;
    if (frame.size() > static_cast<size_t>(kMaxSendLength)) {
        std::fprintf(stderr, "%s\n", kSendTooLongMessage);
        return kExitFailed;
    }
    if (!OpenMeterPort(options, link)) return kExitFailed;
    link.port.Purge();
    const bool sent = link.port.Send(frame.data(), static_cast<int>(frame.size())) ==
                      static_cast<int>(frame.size());
    if (sent) std::fprintf(stderr, "sent %s\n", HexString(frame).c_str());
    const Bytes reply = sent ? CollectReply(link.port, kSendReplyWaitMs) : Bytes{};
    if (ReportIfDisconnected(link) || !sent) return kExitFailed;
    if (reply.empty())
        std::fprintf(stderr, "no reply within %d ms\n", kSendReplyWaitMs);
    else
        PrintReply(reply);
    return 0;
}

int RunKey(const CliOptions& options, MeterLink& link) {
    return SendKeyFrame(options, link, "KEY", 0, 3);
}

int RunHold(const CliOptions& options, MeterLink& link) {
    return SendKeyFrame(options, link, "KEYHOLD", 1, 3);
}
