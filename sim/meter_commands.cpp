#include "sim/meter_commands.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

using enum CommandId;
using enum ParamRule;

// clang-format off
//   name            family           id              digit rule        params latency ms
constexpr CommandInfo kCommands[] = {
    {"GETVER",         "GETVER",         GetVer,          -1, None,       0,   4},
    {"GETSCREEN",      "GETSCREEN",      GetScreen,       -1, None,       0,   2},
    {"KEY0",           "KEY",            Key,              0, None,       0,   0},
    {"KEY1",           "KEY",            Key,              1, None,       0,   0},
    {"KEY2",           "KEY",            Key,              2, None,       0,   0},
    {"KEY3",           "KEY",            Key,              3, None,       0,   0},
    {"KEYHOLD1",       "KEYHOLD",        KeyHold,          1, None,       0,   0},
    {"KEYHOLD2",       "KEYHOLD",        KeyHold,          2, None,       0,   0},
    {"KEYHOLD3",       "KEYHOLD",        KeyHold,          3, None,       0,   0},
    {"GETEMFDATA",     "GETEMFDATA",     GetEmfData,      -1, None,       0,  15},
    {"GETBANDDATAHEX", "GETBANDDATAHEX", GetBandDataHex,  -1, None,       0,  95},  // one sweep
    {"SETDATETIME",    "SETDATETIME",    SetDateTime,     -1, Fixed,      6,  40},
    {"GETSSN1",        "GETSSN",         GetShotInfo,      1, None,       0,  20},
    {"GETSSN2",        "GETSSN",         GetShotInfo,      2, None,       0,  20},
    {"GETSSN3",        "GETSSN",         GetShotInfo,      3, None,       0,  20},
    {"GETSSN4",        "GETSSN",         GetShotInfo,      4, None,       0,  20},
    {"GETSS1",         "GETSS",          GetShot,          1, None,       0,  60},
    {"GETSS2",         "GETSS",          GetShot,          2, None,       0,  60},
    {"GETSS3",         "GETSS",          GetShot,          3, None,       0,  60},
    {"GETSS4",         "GETSS",          GetShot,          4, None,       0,  60},
    {"SPIR",           "SPIR",           SpiRead,         -1, Fixed,      5,  20},
    {"SPIPW",          "SPIPW",          SpiProgram,      -1, SpiData,    0,  10},
    {"SPISE",          "SPISE",          SpiErase,        -1, Fixed,      3,  45},
    {"ALARM0",         "ALARM",          Alarm,            0, None,       0,   5},
    {"ALARM1",         "ALARM",          Alarm,            1, None,       0,   5},
    {"ALARM2",         "ALARM",          Alarm,            2, None,       0,   5},
    {"SPEAKER0",       "SPEAKER",        Speaker,          0, None,       0,   5},
    {"SPEAKER1",       "SPEAKER",        Speaker,          1, None,       0,   5},
    {"CFGUPDATE",      "CFGUPDATE",      CfgUpdate,       -1, None,       0,  30},
    {"EchoON",         "EchoON",         EchoOn,          -1, None,       0,   0},
    {"EchoOFF",        "EchoOFF",        EchoOff,         -1, None,       0,   0},
    {"FACTORYRESET",   "FACTORYRESET",   FactoryReset,    -1, None,       0,  60},
    {"GETSERIAL",      "GETSERIAL",      GetSerial,       -1, None,       0,   5},
    {"GETVOLT",        "GETVOLT",        GetVolt,         -1, None,       0,   5},
    {"GETGYRO",        "GETGYRO",        GetGyro,         -1, None,       0,   5},
    {"GETTEMP",        "GETTEMP",        GetTemp,         -1, None,       0,   5},
    {"GETDATETIME",    "GETDATETIME",    GetDateTime,     -1, None,       0,   5},
    {"GETEMF",         "GETEMF",         GetEmf,          -1, None,       0,   5},
    {"GETEF",          "GETEF",          GetEf,           -1, None,       0,   5},
    {"GETBANDDATA",    "GETBANDDATA",    GetBandData,     -1, None,       0,  95},
    {"GETMODE",        "GETMODE",        GetMode,         -1, None,       0,   5},
    {"SETEMF",         "SETEMF",         SetEmf,          -1, Open,       0,   5},
    {"GETCFG",         "GETCFG",         GetCfg,          -1, None,       0,   5},
    {"WCFG",           "WCFG",           WriteCfg,        -1, Fixed,      2,   5},
    {"POWEROFF",       "POWEROFF",       PowerOff,        -1, None,       0,   0},
    {"POWERON",        "POWERON",        PowerOn,         -1, None,       0,   0},
    {"REBOOT",         "REBOOT",         Reboot,          -1, None,       0,   0},
    {"HEARTBEAT0",     "HEARTBEAT",      Heartbeat,        0, None,       0,   0},
    {"HEARTBEAT1",     "HEARTBEAT",      Heartbeat,        1, None,       0,   0},
    {"GetRAM",         "GetRAM",         GetRam,          -1, None,       0,   5},
    // The family's shared firmware knows the radiation counter's commands; field meters have no
    // counter, so it reads 0 and its calibration is taken and ignored.
    {"GETCPM",         "GETCPM",         GetCpm,          -1, None,       0,   5},
    {"CPMSPKCAL",      "CPMSPKCAL",      CpmSpeakerCal,   -1, Fixed,      1,   5},
};
// clang-format on

constexpr uint8_t kFrameStart = '<';
constexpr uint8_t kFrameEnd = '>';
constexpr int kSpiHeaderLength = 5;  // address (3) and length (2)

bool StartsWith(const Bytes& buffer, size_t at, const char* name) {
    const size_t n = std::strlen(name);
    return buffer.size() >= at + n && std::memcmp(buffer.data() + at, name, n) == 0;
}

// The longest known name at the start of the frame body that the rule filter accepts.
const CommandInfo* NameAtStart(const Bytes& buffer, size_t bodyEnd, bool lengthRules) {
    const CommandInfo* best = nullptr;
    for (const CommandInfo& command : kCommands) {
        const bool byLength = command.rule == Fixed || command.rule == SpiData;
        if (byLength != lengthRules) continue;
        if (std::strlen(command.name) > bodyEnd - 1 || !StartsWith(buffer, 1, command.name))
            continue;
        if (!best || std::strlen(command.name) > std::strlen(best->name)) best = &command;
    }
    return best;
}

size_t FindFrameEnd(const Bytes& buffer) {
    for (size_t i = 1; i + 1 < buffer.size(); ++i)
        if (buffer[i] == kFrameEnd && buffer[i + 1] == kFrameEnd) return i;
    return 0;
}

}  // namespace

const CommandInfo* FindCommand(const std::string& name) {
    for (const CommandInfo& command : kCommands)
        if (name == command.name) return &command;
    return nullptr;
}

// The frame's pieces, from the buffer: name up to nameEnd, parameters up to paramsEnd, ">>".
void FrameReader::Take(ReceivedFrame* frame, const CommandInfo* command, size_t nameEnd,
                       size_t paramsEnd) const {
    auto at = [&](size_t i) { return buffer_.begin() + static_cast<long>(i); };
    frame->command = command;
    frame->name.assign(at(1), at(nameEnd));
    frame->params.assign(at(nameEnd), at(paramsEnd));
    frame->raw.assign(at(0), at(paramsEnd + 2));
    frame->firstByteMs = arrivals_.front();
    frame->lastByteMs = arrivals_[paramsEnd + 1];
}

void FrameReader::Drop(size_t count) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(count));
    arrivals_.erase(arrivals_.begin(), arrivals_.begin() + static_cast<long>(count));
}

// A command whose parameters are read by length: it is whole once they and ">>" are in.
FrameReader::Cut FrameReader::CutByLength(const CommandInfo& command, ReceivedFrame* frame) const {
    const size_t nameEnd = 1 + std::strlen(command.name);
    size_t params = static_cast<size_t>(command.params);
    if (command.rule == SpiData) {
        if (buffer_.size() < nameEnd + kSpiHeaderLength) return Cut::Wait;
        params = kSpiHeaderLength + (buffer_[nameEnd + 3] << 8 | buffer_[nameEnd + 4]);
    }
    const size_t total = nameEnd + params + 2;
    if (total > static_cast<size_t>(kMaxFrameLength)) return Cut::Resync;
    if (buffer_.size() < total) return Cut::Wait;
    if (buffer_[total - 2] != kFrameEnd || buffer_[total - 1] != kFrameEnd) return Cut::Resync;
    Take(frame, &command, nameEnd, nameEnd + params);
    return Cut::Frame;
}

// Any other frame ends at its first ">>".
FrameReader::Cut FrameReader::CutAtEnd(ReceivedFrame* frame) const {
    const size_t end = FindFrameEnd(buffer_);
    if (end == 0)
        return buffer_.size() >= static_cast<size_t>(kMaxFrameLength) ? Cut::Resync : Cut::Wait;
    const CommandInfo* command = NameAtStart(buffer_, end, false);
    // Junk such as "<<GETVER>>": start again at the later "<".
    const auto bodyEnd = buffer_.begin() + static_cast<long>(end);
    if (!command && std::find(buffer_.begin() + 1, bodyEnd, kFrameStart) != bodyEnd)
        return Cut::Resync;
    Take(frame, command, command ? 1 + std::strlen(command->name) : end, end);
    return Cut::Frame;
}

FrameReader::Cut FrameReader::TryCut(ReceivedFrame* frame) const {
    if (const CommandInfo* command = NameAtStart(buffer_, buffer_.size(), true))
        return CutByLength(*command, frame);
    return CutAtEnd(frame);
}

std::vector<ReceivedFrame> FrameReader::Feed(const uint8_t* data, size_t length, int64_t nowMs) {
    std::vector<ReceivedFrame> frames;
    if (length == 0) return frames;
    Expire(nowMs);
    buffer_.insert(buffer_.end(), data, data + length);
    arrivals_.insert(arrivals_.end(), length, nowMs);
    lastByteMs_ = nowMs;
    for (;;) {
        // Bytes before a frame start are line noise.
        Drop(static_cast<size_t>(std::find(buffer_.begin(), buffer_.end(), kFrameStart) -
                                 buffer_.begin()));
        if (buffer_.size() < 2) break;
        ReceivedFrame frame;
        Cut cut = TryCut(&frame);
        if (cut == Cut::Wait) break;
        if (cut == Cut::Resync) {
            Drop(1);
            continue;
        }
        Drop(frame.raw.size());
        frames.push_back(std::move(frame));
    }
    return frames;
}

bool FrameReader::Expire(int64_t nowMs) {
    if (buffer_.empty() || nowMs - lastByteMs_ < kStaleFrameMs) return false;
    Drop(buffer_.size());
    return true;
}

int64_t FrameReader::StaleAtMs() const {
    return buffer_.empty() ? INT64_MAX : lastByteMs_ + kStaleFrameMs;
}
