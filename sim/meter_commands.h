#pragma once
// The commands the meter's firmware knows, and how it cuts frames out of the bytes it receives.
//
// A frame is "<" + name + parameter bytes + ">>". Parameters are raw binary, so a command with
// parameters of fixed length is read by length (its parameters may hold ">>"); every other frame
// ends at the first ">>". The firmware compares the start of the frame with its names, so
// bytes after a parameterless name ("<KEY0 00>>") are ignored.

#include <cstdint>
#include <string>
#include <vector>

#include "link/command_frame.h"

// clang-format off
enum class CommandId {
    GetVer, GetScreen, Key, KeyHold, GetEmfData, GetBandDataHex, SetDateTime, GetShotInfo, GetShot,
    SpiRead, SpiProgram, SpiErase, Alarm, Speaker, CfgUpdate, EchoOn, EchoOff, FactoryReset,
    GetSerial, GetVolt, GetGyro, GetTemp, GetDateTime, GetEmf, GetEf, GetBandData, GetMode, SetEmf,
    GetCfg, WriteCfg, PowerOff, PowerOn, Reboot, Heartbeat, GetRam, GetCpm, CpmSpeakerCal,
};
// clang-format on

enum class ParamRule {
    None,     // parameterless; anything up to ">>" is ignored
    Fixed,    // exactly `params` bytes, then ">>"
    SpiData,  // 3 address bytes, 2 length bytes, then that many data bytes
    Open,     // whatever comes before ">>"
};

struct CommandInfo {
    const char* name;
    const char* family;  // names that differ only by a digit share one ("GETSS" for GETSS1..4)
    CommandId id;
    int digit;  // key number, slot, or on/off, taken from the name; -1 when none
    ParamRule rule;
    int params;     // for ParamRule::Fixed
    int latencyMs;  // the firmware's time to act before its reply starts
};

// The command of a name, exactly as received (names are case-sensitive), or null.
const CommandInfo* FindCommand(const std::string& name);

inline constexpr int kMaxFrameLength = 32;
inline constexpr int kStaleFrameMs = 250;  // a frame left unfinished this long is given up

struct ReceivedFrame {
    const CommandInfo* command = nullptr;  // null for a name the firmware does not know
    std::string name;                      // the command name (for an unknown one, up to ">>")
    Bytes params;
    Bytes raw;                // the whole frame as received
    int64_t firstByteMs = 0;  // when its "<" and its last ">" arrived
    int64_t lastByteMs = 0;
};

class FrameReader {
  public:
    // Takes received bytes; returns the frames they complete, in order.
    std::vector<ReceivedFrame> Feed(const uint8_t* data, size_t length, int64_t nowMs);
    std::vector<ReceivedFrame> Feed(const Bytes& bytes, int64_t nowMs) {
        return Feed(bytes.data(), bytes.size(), nowMs);
    }

    // Gives up an unfinished frame once it is stale. Returns true when one was dropped.
    bool Expire(int64_t nowMs);

    // When the unfinished frame goes stale; INT64_MAX when nothing is pending.
    int64_t StaleAtMs() const;

    size_t Pending() const { return buffer_.size(); }

  private:
    enum class Cut { Frame, Wait, Resync };
    Cut TryCut(ReceivedFrame* frame) const;
    Cut CutByLength(const CommandInfo& command, ReceivedFrame* frame) const;
    Cut CutAtEnd(ReceivedFrame* frame) const;
    void Take(ReceivedFrame* frame, const CommandInfo* command, size_t nameEnd,
              size_t paramsEnd) const;

    void Drop(size_t count);

    Bytes buffer_;
    std::vector<int64_t> arrivals_;  // when each byte of buffer_ came in
    int64_t lastByteMs_ = 0;
};
