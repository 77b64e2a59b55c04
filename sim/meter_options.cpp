#include "sim/meter_options.h"

#include <functional>
#include <map>
#include <optional>

#include "link/number_text.h"

namespace {

bool ParseInt(const std::string& text, long low, long high, long* value) {
    const std::optional<int64_t> n = ParseWholeInteger(text, low, high);
    if (n) *value = static_cast<long>(*n);
    return n.has_value();
}

std::string ModelNames() {
    int count = 0;
    const ModelSpec* models = Models(&count);
    std::string names;
    for (int i = 0; i < count; ++i)
        names += std::string(i ? ", " : "") + models[i].name;
    return names;
}

// "1,3" to a mask with bits 0 and 2; "none" (or nothing) to 0.
bool ParseSlots(const std::string& text, unsigned* mask) {
    unsigned slots = 0;
    if (text != "none") {
        for (size_t i = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (c >= '1' && c <= '4')
                slots |= 1u << (c - '1');
            else if (c != ',' && c != ' ')
                return false;
        }
    }
    *mask = slots;
    return true;
}

using Setter = std::function<bool(MeterOptions&, const std::string&, std::string*)>;

bool Fail(std::string* error, const std::string& text) {
    *error = text;
    return false;
}

// Options that take a value.
const std::map<std::string, Setter>& ValueOptions() {
    static const std::map<std::string, Setter> options = {
        {"--model",
         [](MeterOptions& o, const std::string& v, std::string* e) {
             o.setup.model = FindModel(v);
             long code = 0;
             if (!o.setup.model && ParseInt(v, 1, 6, &code))
                 o.setup.model = ModelForCode(static_cast<int>(code));
             return o.setup.model ||
                    Fail(e, "unknown model '" + v + "' (" + ModelNames() + ", or a code 1 to 6)");
         }},
        {"--revision",
         [](MeterOptions& o, const std::string& v, std::string* e) {
             o.setup.revision = v;
             return RevisionValue(v) > 0 || Fail(e, "a revision is a number such as 3.62");
         }},
        {"--version-text",
         [](MeterOptions& o, const std::string& v, std::string*) {
             o.setup.versionText = v;
             return true;
         }},
        {"--scene",
         [](MeterOptions& o, const std::string& v, std::string* e) {
             o.setup.scene = FindScene(v);
             return o.setup.scene || Fail(e, "unknown scene '" + v + "' (" + SceneNames() + ")");
         }},
        {"--band",
         [](MeterOptions& o, const std::string& v, std::string* e) {
             long n = 0;
             if (!ParseInt(v, 0, BandCount() - 1, &n))
                 return Fail(e, "--band takes 0 to " + std::to_string(BandCount() - 1));
             o.setup.band = static_cast<int>(n);
             return true;
         }},
        {"--seed",
         [](MeterOptions& o, const std::string& v, std::string* e) {
             long n = 0;
             if (!ParseInt(v, 0, 2147483647, &n)) return Fail(e, "--seed takes a number");
             o.setup.seed = static_cast<uint64_t>(n);
             return true;
         }},
        {"--clock",
         [](MeterOptions& o, const std::string& v, std::string* e) {
             MeterTime t;
             if (!ParseMeterTime(v, &t))
                 return Fail(e, "--clock takes \"YYYY-MM-DD HH:MM:SS\" (2000 to 2099)");
             o.clock = t;
             return true;
         }},
        {"--history-blocks",
         [](MeterOptions& o, const std::string& v, std::string* e) {
             long n = 0;
             if (!ParseInt(v, 0, kHistoryBytes / kSectorBytes, &n))
                 return Fail(e, "--history-blocks takes 0 to 256");
             o.setup.historyBytes = static_cast<uint32_t>(n) * kSectorBytes;
             return true;
         }},
        {"--history-file",
         [](MeterOptions& o, const std::string& v, std::string*) {
             o.setup.historyImage = v;
             return true;
         }},
        {"--empty-slots",
         [](MeterOptions& o, const std::string& v, std::string* e) {
             return ParseSlots(v, &o.setup.emptySlots) ||
                    Fail(e, "--empty-slots takes slot numbers 1 to 4 (\"1,3\") or \"none\"");
         }},
        {"--latency",
         [](MeterOptions& o, const std::string& v, std::string* e) {
             long n = 0;
             if (!ParseInt(v, 0, 60000, &n)) return Fail(e, "--latency takes milliseconds");
             o.latencyMs = static_cast<int>(n);
             return true;
         }},
        {"--unplug-after",
         [](MeterOptions& o, const std::string& v, std::string* e) {
             long n = 0;
             if (!ParseInt(v, 1, 1000000, &n)) return Fail(e, "--unplug-after takes a frame count");
             o.unplugAfter = static_cast<int>(n);
             return true;
         }},
        {"--replug-after",
         [](MeterOptions& o, const std::string& v, std::string* e) {
             long n = 0;
             if (!ParseInt(v, 0, 3600000, &n)) return Fail(e, "--replug-after takes milliseconds");
             o.replugAfterMs = static_cast<int>(n);
             return true;
         }},
        {"--fault",
         [](MeterOptions& o, const std::string& v, std::string* e) {
             FaultRule rule;
             rule.name = kEveryFrame;
             const bool whole = v.find(':') != std::string::npos;
             if (!(whole ? ParseFault(v, &rule, e) : ParseFaultKind(v, &rule, e))) return false;
             o.faults.push_back(rule);
             return true;
         }},
        {"--fault-on",
         [](MeterOptions& o, const std::string& v, std::string* e) {
             if (o.faults.empty()) return Fail(e, "--fault-on follows a --fault");
             o.faults.back().name = v;
             return true;
         }},
        {"--fault-count",
         [](MeterOptions& o, const std::string& v, std::string* e) {
             long n = 0;
             if (o.faults.empty()) return Fail(e, "--fault-count follows a --fault");
             if (!ParseInt(v, 0, 1000000, &n)) return Fail(e, "--fault-count takes a number");
             o.faults.back().count = static_cast<int>(n);
             return true;
         }},
        {"--log",
         [](MeterOptions& o, const std::string& v, std::string*) {
             o.logPath = v;
             return true;
         }},
        {"--link",
         [](MeterOptions& o, const std::string& v, std::string*) {
             o.linkPath = v;
             return true;
         }},
    };
    return options;
}

}  // namespace

bool ParseMeterOptions(const std::vector<std::string>& args, MeterOptions* options,
                       std::string* error) {
    static const std::map<std::string, std::function<void(MeterOptions&)>> flags = {
        {"--help", [](MeterOptions& o) { o.help = true; }},
        {"-h", [](MeterOptions& o) { o.help = true; }},
        {"--version", [](MeterOptions& o) { o.version = true; }},
        {"--fast", [](MeterOptions& o) { o.fast = true; }},
        {"--logging", [](MeterOptions& o) { o.setup.logging = true; }},
        {"--log-times", [](MeterOptions& o) { o.logTimes = true; }},
        {"--verbose", [](MeterOptions& o) { o.verbose = true; }},
    };
    MeterOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (auto flag = flags.find(arg); flag != flags.end()) {
            flag->second(o);
        } else if (auto it = ValueOptions().find(arg); it != ValueOptions().end()) {
            if (i + 1 >= args.size()) return Fail(error, arg + " needs a value");
            if (!it->second(o, args[++i], error)) return false;
        } else {
            return Fail(error, "unknown option '" + arg + "' (see --help)");
        }
    }
    *options = o;
    return true;
}

std::string MeterUsage() {
    const std::string bands = std::to_string(BandCount() - 1);
    return "usage: ferrolog-meter [options]\n"
           "A virtual field meter on a pseudo-terminal. Prints the device path on the first line\n"
           "of stdout, then answers the meter's commands there until SIGTERM or Ctrl+C.\n"
           "\n"
           "The meter\n"
           "  --model NAME          " +
           ModelNames() +
           ",\n"
           "                        or a model code 1 to 6 (default ZTX440)\n"
           "  --revision X.YZ       firmware revision (default: the model's own, ZTX440 3.62)\n"
           "  --version-text TEXT   answer GETVER with exactly TEXT\n"
           "  --clock \"YYYY-MM-DD HH:MM:SS\"  its clock at start (default: local time)\n"
           "  --history-blocks N    4096-byte blocks of logged history, 0 to 256 (default 64)\n"
           "  --history-file PATH   serve this memory image instead (the rest reads as erased)\n"
           "  --empty-slots LIST    screenshot slots that hold nothing, e.g. 1,3 or none (default "
           "4)\n"
           "  --logging             start with logging on\n"
           "What it measures\n"
           "  --scene NAME          " +
           SceneNames() +
           " (default home)\n"
           "  --band N              RF band mode swept, 0 to " +
           bands +
           " (default 0)\n"
           "  --seed N              seed of the readings (default 1); a seed repeats a run\n"
           "Timing\n"
           "  --fast                no processing time and no 115200-baud pacing\n"
           "  --latency MS          the same processing time before every reply\n"
           "Faults\n"
           "  --fault KIND          spoil replies: silent, short[=N], corrupt (corrupt-trailer),\n"
           "                        garbage, marks, late[=MS], junk[=N]; to every reply unless\n"
           "  --fault-on NAME       only replies to NAME (a command, or GETSS for GETSS1..4)\n"
           "  --fault-count N       only the first N of them\n"
           "  --fault NAME:KIND[=VALUE][:COUNT[:SKIP]]   the same in one rule; repeatable\n"
           "  --unplug-after N      pull the cable halfway through the reply to frame N\n"
           "  --replug-after MS     then plug it in again after MS, on a new device (the\n"
           "                        --link follows it; its path goes to stdout too)\n"
           "Watching\n"
           "  --log PATH            append each frame received to PATH, one line of hex\n"
           "  --log-times           also write PATH.times: each frame's first-to-last byte, ms\n"
           "  --link PATH           also make PATH a symbolic link to the device\n"
           "  --verbose             describe each frame and reply on stderr\n"
           "Other\n"
           "  -h, --help            show this help and exit\n"
           "  --version             show the version and exit\n";
}
