#pragma once
// Faults the virtual meter can be told to commit, so that the program's handling of silent,
// short, damaged and late replies can be tried against the real link.
//
// A rule reads NAME:KIND[=VALUE][:COUNT[:SKIP]]. NAME is a command as sent ("GETEMFDATA"), a
// family of numbered ones ("GETSS" for GETSS1..4, not GETSSN1..4) or "*" for every frame. The
// rule lets SKIP matching frames pass, then spoils the next COUNT ("all" or 0: every one after).
// Kinds:
//   silent          the meter misses the frame: no action, no reply
//   short[=N]       only the first N bytes of the reply leave (default: half of it)
//   corrupt         the last byte (a trailer 0xAA) arrives as 0x00; "corrupt-trailer" too
//   garbage         the reply's length in random lower-case letters: no trailer, no model name
//   marks           the last two bytes arrive as 0xBB 0xBB
//   late[=MS]       the reply leaves MS later than it would (default 1500)
//   junk[=N]        N stray bytes go out ahead of the reply (default 16)

#include <cstdint>
#include <string>
#include <vector>

#include "sim/meter_commands.h"
#include "sim/virtual_meter.h"

enum class FaultKind { Silent, Short, Corrupt, Garbage, Marks, Late, Junk };

struct FaultRule {
    std::string name;
    FaultKind kind = FaultKind::Silent;
    int value = -1;  // -1: the kind's default
    int count = 0;   // 0: every matching frame after the skipped ones
    int skip = 0;
    int seen = 0;  // matching frames so far
};

// Parses a rule; false with the reason when the text is not one.
bool ParseFault(const std::string& text, FaultRule* rule, std::string* error);

// Parses a kind on its own ("late=700"), as given with --fault-on and --fault-count.
bool ParseFaultKind(const std::string& text, FaultRule* rule, std::string* error);

inline constexpr const char* kEveryFrame = "*";

class FaultPlan {
  public:
    void Add(const FaultRule& rule) { rules_.push_back(rule); }

    // Counts the frame against every rule it matches; returns the first rule whose turn it is,
    // or null when the frame passes untouched.
    const FaultRule* Take(const ReceivedFrame& frame);

  private:
    std::vector<FaultRule> rules_;
};

// Spoils a reply as the rule says. (Silent is the caller's: the frame is never acted on.)
void ApplyFault(const FaultRule& rule, MeterReply& reply);

inline constexpr int kDefaultLateMs = 1500;
inline constexpr int kDefaultJunkBytes = 16;
