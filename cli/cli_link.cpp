// The link jobs: ports, scan, identify, send, key, hold.

#include <cstdio>
#include <cstdlib>

#include "cli/cli_context.h"
#include "link/command_exchange.h"
#include "link/link_timing.h"
#include "link/port_table.h"
#include "link/serial_port.h"

namespace {

constexpr int kSendReplyWaitMs = 500;
// Closing the port purges what has not left yet, so a key job lets its frame leave first.
constexpr int kKeyFrameLeaveMs = 50;

bool ParseHexByte(const std::string& text, uint8_t* value) {
    if (text.empty() || text.size() > 2) return false;
    char* end = nullptr;
    unsigned long v = std::strtoul(text.c_str(), &end, 16);
    if (*end != '\0') return false;
    *value = static_cast<uint8_t>(v);
    return true;
}

// "send NAME [HEX BYTES | --text TEXT]"
bool ParseSendWords(const std::vector<std::string>& words, std::string* name, Bytes* params) {
    if (words.empty()) return false;
    *name = words[0];
    for (size_t i = 1; i < words.size(); ++i) {
        if (words[i] == "--text") {
            for (size_t j = i + 1; j < words.size(); ++j) {
                if (j > i + 1) params->push_back(' ');
                params->insert(params->end(), words[j].begin(), words[j].end());
            }
            return true;
        }
        uint8_t byte = 0;
        if (!ParseHexByte(words[i], &byte)) return false;
        params->push_back(byte);
    }
    return true;
}

// Collects what the meter sends until it has been quiet for a while or the wait ends.
Bytes CollectReply(int waitMs) {
    Bytes reply;
    const int64_t deadline = NowMs() + waitMs;
    int64_t lastByte = NowMs();
    uint8_t chunk[4096];
    while (NowMs() < deadline) {
        MeterPort.WaitForInput(5);
        int n = MeterPort.Read(chunk, sizeof chunk);
        if (n > 0) {
            reply.insert(reply.end(), chunk, chunk + n);
            lastByte = NowMs();
        } else if (!reply.empty() && NowMs() - lastByte > 100) {
            break;
        }
    }
    return reply;
}

void PrintReply(const Bytes& reply) {
    if (reply.empty()) {
        std::printf("no reply\n");
        return;
    }
    std::printf("%zu bytes\n", reply.size());
    for (size_t i = 0; i < reply.size(); i += 16) {
        size_t n = std::min<size_t>(16, reply.size() - i);
        std::printf("%06zx  %-47s  %s\n", i, HexString(reply.data() + i, n).c_str(),
                    PrintableString(reply.data() + i, n).c_str());
    }
}

int SendKeyFrame(const CliOptions& options, const char* prefix, int low, int high) {
    if (options.args.size() != 1 || options.args[0].size() != 1 || options.args[0][0] < '0' + low ||
        options.args[0][0] > '0' + high) {
        std::fprintf(stderr, "%s takes one key number from %d to %d\n", options.command.c_str(),
                     low, high);
        return 2;
    }
    if (!OpenMeterPort(options)) return 1;
    Bytes frame = BuildFrame(std::string(prefix) + options.args[0]);
    if (MeterPort.Send(frame.data(), static_cast<int>(frame.size())) !=
        static_cast<int>(frame.size()))
        return 1;
    SleepMs(kKeyFrameLeaveMs);
    std::printf("sent %s\n", HexString(frame).c_str());
    return 0;
}

}  // namespace

int RunPorts(const CliOptions&) {
    for (int n = 1; n <= PortTable::kPortCount; ++n) {
        std::string path = PortTable::Instance().PathOf(n);
        if (!path.empty()) std::printf("COM%-3d %s\n", n, path.c_str());
    }
    return 0;
}

int RunScan(const CliOptions& options) {
    ConsoleView view(options.verbose, stdout);
    if (!ScanForMeter(MeterPort, view)) return 1;
    std::printf("COM%d %s\n", PortNumber.load(), PortTable::Instance().PathOf(PortNumber).c_str());
    return 0;
}

int RunIdentify(const CliOptions& options) {
    if (!ConnectMeter(options)) return 1;
    std::printf("model %d (%s), revision %.2f, COM%d\n", DeviceModel.load(), ModelName(DeviceModel),
                FirmwareRevision.load(), PortNumber.load());
    return 0;
}

int RunSend(const CliOptions& options) {
    std::string name;
    Bytes params;
    if (!ParseSendWords(options.args, &name, &params)) {
        std::fprintf(stderr, "usage: send NAME [HEX BYTES | --text TEXT]\n");
        return 2;
    }
    Bytes frame = BuildFrame(name, params);
    if (frame.size() > static_cast<size_t>(kMaxSendLength)) {
        MeterPort.Send(frame.data(), static_cast<int>(frame.size()));  // says why
        return 1;
    }
    if (!OpenMeterPort(options)) return 1;
    MeterPort.Purge();
    MeterPort.Send(frame.data(), static_cast<int>(frame.size()));
    std::printf("sent %s\n", HexString(frame).c_str());
    PrintReply(CollectReply(kSendReplyWaitMs));
    return 0;
}

int RunKey(const CliOptions& options) {
    return SendKeyFrame(options, "KEY", 0, 3);
}

int RunHold(const CliOptions& options) {
    return SendKeyFrame(options, "KEYHOLD", 1, 3);
}
