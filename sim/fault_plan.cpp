#include "sim/fault_plan.h"

#include <limits>
#include <optional>
#include <sstream>

#include "link/number_text.h"
#include "sim/field_environment.h"

namespace {

struct KindName {
    const char* name;
    FaultKind kind;
};
constexpr KindName kKinds[] = {
    {"silent", FaultKind::Silent},   {"short", FaultKind::Short},
    {"corrupt", FaultKind::Corrupt}, {"corrupt-trailer", FaultKind::Corrupt},
    {"garbage", FaultKind::Garbage}, {"marks", FaultKind::Marks},
    {"late", FaultKind::Late},       {"junk", FaultKind::Junk},
};

constexpr uint8_t kReaderFill = 0xBB;
constexpr uint64_t kJunkSeed = 0x6A756E6B;
constexpr int kLetters = 26;

bool ParseCount(const std::string& text, int* value) {
    if (text == "all") {
        *value = 0;
        return true;
    }
    const std::optional<int64_t> n = ParseWholeInteger(text, 0, std::numeric_limits<int>::max());
    if (n) *value = static_cast<int>(*n);
    return n.has_value();
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);)
        parts.push_back(part);
    return parts;
}

}  // namespace

bool ParseFaultKind(const std::string& text, FaultRule* rule, std::string* error) {
    const size_t equals = text.find('=');
    const std::string kind = text.substr(0, equals);
    const KindName* known = nullptr;
    for (const KindName& k : kKinds)
        if (kind == k.name) known = &k;
    if (!known) {
        *error = "unknown fault kind '" + kind +
                 "' (silent, short, corrupt, corrupt-trailer, garbage, marks, late, junk)";
        return false;
    }
    rule->kind = known->kind;
    if (equals != std::string::npos && !ParseCount(text.substr(equals + 1), &rule->value)) {
        *error = "fault value must be a number: " + text;
        return false;
    }
    return true;
}

bool ParseFault(const std::string& text, FaultRule* rule, std::string* error) {
    const std::vector<std::string> parts = Split(text, ':');
    if (parts.size() < 2 || parts.size() > 4 || parts[0].empty()) {
        *error = "a fault reads NAME:KIND[=VALUE][:COUNT[:SKIP]]: " + text;
        return false;
    }
    FaultRule r;
    r.name = parts[0];
    if (!ParseFaultKind(parts[1], &r, error)) return false;
    if ((parts.size() > 2 && !ParseCount(parts[2], &r.count)) ||
        (parts.size() > 3 && !ParseCount(parts[3], &r.skip))) {
        *error = "fault count and skip must be numbers: " + text;
        return false;
    }
    *rule = r;
    return true;
}

const FaultRule* FaultPlan::Take(const ReceivedFrame& frame) {
    const FaultRule* chosen = nullptr;
    for (FaultRule& rule : rules_) {
        const bool matches = rule.name == kEveryFrame || rule.name == frame.name ||
                             (frame.command && rule.name == frame.command->family);
        if (!matches) continue;
        ++rule.seen;
        const bool inTurn =
            rule.seen > rule.skip && (rule.count == 0 || rule.seen <= rule.skip + rule.count);
        if (inTurn && !chosen) chosen = &rule;
    }
    return chosen;
}

void ApplyFault(const FaultRule& rule, MeterReply& reply) {
    Bytes& bytes = reply.bytes;
    switch (rule.kind) {
        case FaultKind::Silent:
            bytes.clear();
            break;
        case FaultKind::Short: {
            const size_t keep =
                rule.value >= 0 ? static_cast<size_t>(rule.value) : bytes.size() / 2;
            if (keep < bytes.size()) bytes.resize(keep);
            break;
        }
        case FaultKind::Corrupt:
            if (!bytes.empty()) bytes.back() = bytes.back() == 0x00 ? 0xFF : 0x00;
            break;
        case FaultKind::Garbage:
            // Letters only: never a trailer, never a model token, so the reply is surely wrong.
            for (size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<uint8_t>(
                    'a' + NoiseUnit(kJunkSeed, rule.seen * 100000 + static_cast<int64_t>(i), 1) *
                              kLetters);
            break;
        case FaultKind::Marks:
            if (bytes.size() >= 2) bytes[bytes.size() - 2] = bytes[bytes.size() - 1] = kReaderFill;
            break;
        case FaultKind::Late:
            reply.latencyMs += rule.value >= 0 ? rule.value : kDefaultLateMs;
            break;
        case FaultKind::Junk: {
            const int n = rule.value >= 0 ? rule.value : kDefaultJunkBytes;
            Bytes junk;
            for (int i = 0; i < n; ++i)
                junk.push_back(
                    static_cast<uint8_t>(NoiseUnit(kJunkSeed, rule.seen * 1000 + i, 0) * 256));
            bytes.insert(bytes.begin(), junk.begin(), junk.end());
            break;
        }
    }
}
