#include "link/meter_identity.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

#include "link/command_exchange.h"
#include "link/link_timing.h"
#include "link/number_text.h"
#include "link/port_diagnosis.h"
#include "link/port_table.h"

namespace {

struct TokenRule {
    const char* token;
    int model;
};

// "ZTX420+" is always tested before "ZTX420", which it contains.
// clang-format off
constexpr TokenRule kIdentifyOrder[] = {
    {"VXQ", kModelZtx440},  {"ZTX430", kModelZtx430}, {"ZTX420+", kModelZtx420Plus},
    {"ZTX420", kModelZtx420}, {"ZTX440", kModelZtx440}, {"TKL", kModelTkl},
    {"ZTX-8800", kModelZtx8800},
};
constexpr TokenRule kScanOrder[] = {
    {"ZTX430", kModelZtx430}, {"ZTX420+", kModelZtx420Plus}, {"ZTX420", kModelZtx420},
    {"ZTX440", kModelZtx440}, {"TKL", kModelTkl}, {"ZTX-8800", kModelZtx8800},
    {"VXQ", kModelZtx440},
};
// clang-format on

bool Contains(const uint8_t* reply, int length, const char* token) {
    const size_t n = std::strlen(token);
    for (int i = 0; i + static_cast<int>(n) <= length; ++i)
        if (std::memcmp(reply + i, token, n) == 0) return true;
    return false;
}

void TakeIdentification(MeterLink& link, const uint8_t* reply, int model) {
    link.DeviceModel = model;
    link.MeterName = ParseMeterName(reply);
    link.FirmwareRevision = ParseFirmwareRevision(reply);
    link.DeviceConnected = true;
    link.LinkLost = false;
}

bool Stopping(const std::atomic<bool>* stop) {
    return stop && stop->load();
}

void AcceptIdentification(MeterLink& link, const uint8_t* reply, int model, DiscoveryView& view) {
    TakeIdentification(link, reply, model);
    view.ShowMessage(DeviceMessage(link.MeterName, link.FirmwareRevision.load()));
}

}  // namespace

void DiscoveryView::Sleep(int milliseconds) {
    SleepMs(milliseconds);
}

int ClassifyReply(const uint8_t* reply, int length, ClassifyOrder order) {
    if (length > kIdentifyReplyLength) length = kIdentifyReplyLength;
    const TokenRule* rules = order == ClassifyOrder::Identify ? kIdentifyOrder : kScanOrder;
    for (int i = 0; i < 7; ++i)
        if (Contains(reply, length, rules[i].token)) return rules[i].model;
    return kModelNone;
}

bool HasModelToken(const uint8_t* reply, int length) {
    return ClassifyReply(reply, length, ClassifyOrder::Identify) != kModelNone;
}

std::string ParseMeterName(const uint8_t* reply32) {
    std::string name;
    for (int i = 0; i < kIdentifyReplyLength && reply32[i] != 'R'; ++i)
        name += static_cast<char>(reply32[i]);
    // A zeroed buffer behind a short reply ends the text there, as a C string would.
    return name.substr(0, name.find('\0'));
}

float ParseFirmwareRevision(const uint8_t* reply32) {
    int r = 0;
    while (r < kIdentifyReplyLength && reply32[r] != 'R')
        ++r;
    // No "R": parsing would start at byte 22 of the zeroed buffer, which reads as 0.
    if (r == kIdentifyReplyLength) return 0.0f;
    // The text ends at the buffer's end or its first zero byte, as a C string would.
    const auto* start = reinterpret_cast<const char*>(reply32) + r + 2;
    std::string_view text(start, static_cast<size_t>(kIdentifyBufferSize - r - 2));
    text = text.substr(0, text.find('\0'));
    text.remove_prefix(std::min(text.find_first_not_of(" \t\n\v\f\r"), text.size()));
    // Trailing text is the meter's; no decimal number there reads as 0.
    const std::optional<LeadingDecimal> revision = ParseLeadingDecimal(text);
    return revision ? static_cast<float>(revision->value) : 0.0f;
}

std::string DeviceMessage(const std::string& name, double revision) {
    char text[96];
    std::snprintf(text, sizeof text, "Device:\n\n%sRe %.2lf", name.c_str(), revision);
    return text;
}

const char* ModelName(int model) {
    switch (model) {
        case kModelZtx420:
            return "ZTX420";
        case kModelZtx420Plus:
            return "ZTX420+";
        case kModelZtx430:
            return "ZTX430";
        case kModelZtx440:
            return "ZTX440";
        case kModelZtx8800:
            return "ZTX-8800";
        case kModelTkl:
            return "TKL";
        default:
            return "none";
    }
}

bool IdentifyMeter(int selectorIndex, MeterLink& link, DiscoveryView& view) {
    CSerialPort& port = link.port;
    link.DeviceConnected = false;
    link.PortNumber = selectorIndex + 1;
    if (port.IsOpen()) port.Close();
    if (!port.Open(link.PortNumber)) {
        view.ShowMessage(kComportOpenError);
        return false;
    }
    uint8_t reply[kIdentifyBufferSize] = {};
    // A spoiled reply (control bytes, a hang-up) names no model, however much of one it holds.
    const bool whole =
        RunExchange(port, kIdentifyPolicy, BuildFrame("GETVER"), reply, link.PortNumber).whole;
    int model =
        whole ? ClassifyReply(reply, kIdentifyReplyLength, ClassifyOrder::Identify) : kModelNone;
    if (model == kModelNone) {
        link.DeviceModel = kModelNone;
        view.ShowMessage(kComportOpenError);
        port.Close();
        return false;
    }
    AcceptIdentification(link, reply, model, view);
    return true;
}

bool ScanReport::AnyOpenFailed() const {
    for (const ScanProblem& problem : problems)
        if (problem.failure != PortFailure::None) return true;
    return false;
}

std::vector<std::string> ScanReport::Lines() const {
    std::vector<std::string> lines;
    for (const ScanProblem& problem : problems)
        lines.push_back("COM" + std::to_string(problem.com) + " " + problem.path + ": " +
                        problem.reason);
    return lines;
}

bool ScanForMeter(MeterLink& link, DiscoveryView& view, ScanReport* report,
                  const std::atomic<bool>* stop) {
    CSerialPort& port = link.port;
    view.SetAutoCaption("Scanning..");
    link.DeviceConnected = false;
    if (report) report->problems.clear();
    const Bytes frame = BuildFrame("GETVER");
    for (int index = 0; index < PortTable::kPortCount && !Stopping(stop); ++index) {
        view.SelectPortIndex(index);
        view.Sleep(100);
        if (Stopping(stop)) break;
        const int com = index + 1;
        link.PortNumber = com;
        if (port.IsOpen()) port.Close();
        const std::string path = port.Ports().PathOf(com);
        if (!port.Open(com)) {
            // A port another process holds fails its exclusive open or lock: it is busy.
            if (report && !path.empty())
                report->problems.push_back(
                    {com, path, port.LastOpenFailure(), SystemErrorText(port.LastOpenErrno())});
            continue;
        }
        uint8_t reply[kIdentifyBufferSize] = {};
        ExchangeResult result = RunExchange(port, kScanPolicy, frame, reply, com, stop);
        if (result.whole) {
            int model = ClassifyReply(reply, kIdentifyReplyLength, ClassifyOrder::Scan);
            view.SetAutoCaption("Auto");
            view.HideScanningPanel();
            AcceptIdentification(link, reply, model, view);
            return true;
        }
        if (report) report->problems.push_back({com, path, PortFailure::None, kNoMeterAnswered});
        port.Close();
    }
    if (port.IsOpen()) port.Close();
    view.HideScanningPanel();
    view.SetAutoCaption("Auto");
    // A scan stopped by a closing window has nothing to tell.
    if (!Stopping(stop)) view.ShowMessage(kDeviceNotFound);
    return false;
}

bool ReidentifyLostMeter(MeterLink& link) {
    if (!link.LinkLost) return false;
    CSerialPort& port = link.port;
    const std::string path = port.LostDevicePath();
    const int com = link.PortNumber;
    // Only the device that went away counts, back at the path it had; nothing is opened
    // until that path exists again.
    if (path.empty() || port.Ports().PathOf(com) != path || !DeviceExists(path)) return false;
    if (port.IsOpen()) port.Close();
    if (!port.Open(com)) return false;
    uint8_t reply[kIdentifyBufferSize] = {};
    const bool whole = RunExchange(port, kIdentifyPolicy, BuildFrame("GETVER"), reply, com).whole;
    const int model =
        whole ? ClassifyReply(reply, kIdentifyReplyLength, ClassifyOrder::Identify) : kModelNone;
    if (model == kModelNone) {
        port.Close();
        return false;
    }
    TakeIdentification(link, reply, model);
    return true;
}
