// serve: every meter behind a link of its own in one station, its web server and, when asked,
// its MQTT client, until Ctrl+C or SIGTERM; then MQTT says offline, the server closes and the
// recordings are flushed, in that order, within a second.

#include "cli/cli_serve.h"

#include <atomic>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/browser_open.h"
#include "cli/cli_numbers.h"
#include "cli/cli_signals.h"
#include "link/link_timing.h"
#include "link/meter_link.h"
#include "link/port_table.h"
#include "station/secret_file.h"
#include "station/station.h"
#include "station/station_http.h"
#include "station/station_mqtt.h"

namespace {

constexpr const char* kServeUsage =
    "usage: serve [--meter NAME=PATH].. [--listen HOST:PORT] [--every SECONDS] "
    "[--spectrum-every SECONDS] [--record DIR] [--mqtt HOST[:PORT]] [--mqtt-prefix PREFIX] "
    "[--mqtt-user USER --mqtt-password-file FILE] [--token-file FILE] [--open]";
constexpr const char* kDefaultMeterName = "meter";
constexpr int64_t kMsPerSecond = 1000;
constexpr int64_t kLongestEveryMs = 55 * kMsPerSecond;  // the meter's 60 s still overlap
constexpr int64_t kLongestSweepEveryMs = 24 * 3600 * kMsPerSecond;
constexpr int kLargestPort = 65535;
constexpr int kDefaultMqttPort = 1883;
constexpr int kStopLookMs = 50;  // how often the job looks for the signal

struct ServeMeter {
    std::string name;
    std::string path;
};

struct ServeOptions {
    std::vector<ServeMeter> meters;
    HttpOptions http;
    int64_t everyMs = kMsPerSecond;
    int64_t spectrumEveryMs = 10 * kMsPerSecond;
    std::string recordDir;
    std::optional<MqttOptions> mqtt;
    std::optional<std::string> prefix;
    std::string mqttUser;
    std::string passwordFile;
    std::string tokenFile;
    bool open = false;  // the page in the default browser once it is served
};

bool ValidName(const std::string& name) {
    if (name.empty()) return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') return false;
    return true;
}

bool ParseMeter(const std::string& text, std::vector<ServeMeter>* meters) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos || equals + 1 == text.size()) return false;
    const ServeMeter meter{text.substr(0, equals), text.substr(equals + 1)};
    if (!ValidName(meter.name)) return false;
    for (const ServeMeter& other : *meters)
        if (other.name == meter.name) return false;
    meters->push_back(meter);
    return true;
}

// "HOST:PORT", "HOST" when a default port is given; an IPv6 host in brackets.
bool ParseHostPort(const std::string& text, int defaultPort, std::string* host, int* port) {
    std::string rest = text;
    size_t colon = std::string::npos;
    if (!rest.empty() && rest[0] == '[') {
        const size_t close = rest.find(']');
        if (close == std::string::npos) return false;
        *host = rest.substr(1, close - 1);
        if (close + 1 < rest.size() && rest[close + 1] != ':') return false;
        colon = close + 1 < rest.size() ? close + 1 : std::string::npos;
    } else {
        colon = rest.rfind(':');
        *host = rest.substr(0, colon);
        if (host->find(':') != std::string::npos) return false;
    }
    if (host->empty()) return false;
    if (colon == std::string::npos) {
        *port = defaultPort;
        return defaultPort >= 0;
    }
    int64_t number = 0;
    if (!ParseInteger(rest.substr(colon + 1), 0, kLargestPort, &number)) return false;
    *port = static_cast<int>(number);
    return true;
}

// A topic prefix names no wildcard and no empty level.
bool ValidPrefix(const std::string& prefix) {
    return !prefix.empty() && prefix.find_first_of("+#") == std::string::npos &&
           prefix.front() != '/' && prefix.back() != '/' && prefix.find("//") == std::string::npos;
}

bool TakeOption(const std::string& word, const std::string& value, ServeOptions* serve) {
    if (word == "--meter") return ParseMeter(value, &serve->meters);
    if (word == "--listen") return ParseHostPort(value, -1, &serve->http.host, &serve->http.port);
    if (word == "--every")
        return ParseDuration(value, kMsPerSecond, kLongestEveryMs, &serve->everyMs);
    if (word == "--spectrum-every")
        return ParseDuration(value, 0, kLongestSweepEveryMs, &serve->spectrumEveryMs) &&
               (serve->spectrumEveryMs == 0 || serve->spectrumEveryMs >= kMsPerSecond);
    if (word == "--mqtt") {
        serve->mqtt.emplace();
        return ParseHostPort(value, kDefaultMqttPort, &serve->mqtt->host, &serve->mqtt->port) &&
               serve->mqtt->port > 0;
    }
    if (word == "--mqtt-prefix") {
        serve->prefix = value;
        return ValidPrefix(value);
    }
    std::string* text = word == "--record"               ? &serve->recordDir
                        : word == "--mqtt-user"          ? &serve->mqttUser
                        : word == "--mqtt-password-file" ? &serve->passwordFile
                        : word == "--token-file"         ? &serve->tokenFile
                                                         : nullptr;
    if (!text || value.empty()) return false;
    *text = value;
    return true;
}

// False with the reason for a line that does not hold together.
bool ParseServeOptions(const CliOptions& options, ServeOptions* serve, std::string* problem) {
    const std::vector<std::string>& a = options.args;
    *problem = kServeUsage;
    for (size_t i = 0; i < a.size();) {
        // --open is the one word without a value.
        if (a[i] == "--open") {
            serve->open = true;
            i += 1;
        } else if (i + 1 < a.size() && TakeOption(a[i], a[i + 1], serve)) {
            i += 2;
        } else {
            return false;
        }
    }
    if (serve->mqttUser.empty() != serve->passwordFile.empty()) {
        *problem = "serve: --mqtt-user and --mqtt-password-file go together";
        return false;
    }
    if (!serve->mqtt && (serve->prefix || !serve->mqttUser.empty())) {
        *problem = "serve: the --mqtt- options need --mqtt HOST";
        return false;
    }
    if (serve->mqtt) {
        if (serve->prefix) serve->mqtt->prefix = *serve->prefix;
        serve->mqtt->user = serve->mqttUser;
    }
    return true;
}

bool Loopback(const std::string& host) {
    return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

// What must be there before anything starts: MQTT if asked for, the recording folder and the
// secrets.
bool ReadyToServe(ServeOptions& serve) {
    if (serve.mqtt && !StationMqttInBuild()) {
        std::fprintf(stderr, "ferrolog-cli: serve: MQTT is not in the Windows build (--mqtt)\n");
        return false;
    }
    std::error_code error;
    if (!serve.recordDir.empty() && !std::filesystem::is_directory(serve.recordDir, error)) {
        std::fprintf(stderr, "ferrolog-cli: %s is not a folder\n", serve.recordDir.c_str());
        return false;
    }
    std::string problem;
    if (!serve.tokenFile.empty()) {
        std::string token;
        if (!ReadSecretFile(serve.tokenFile, &token, &problem)) {
            std::fprintf(stderr, "ferrolog-cli: %s\n", problem.c_str());
            return false;
        }
        serve.http.token = token;
    }
    if (!serve.passwordFile.empty() &&
        !ReadSecretFile(serve.passwordFile, &serve.mqtt->password, &problem)) {
        std::fprintf(stderr, "ferrolog-cli: %s\n", problem.c_str());
        return false;
    }
    return true;
}

// Without --meter: the meter of --com or --device, or the one the scan finds.
bool DefaultMeter(const CliOptions& options, MeterLink& link, ServeOptions* serve) {
    if (options.com == 0 && !ConnectMeter(options, link)) return false;
    const int com = options.com != 0 ? options.com : link.PortNumber.load();
    const std::string path = link.port.Ports().PathOf(com);
    if (path.empty()) {
        std::fprintf(stderr, "ferrolog-cli: COM%d is not mapped to a device\n", com);
        return false;
    }
    serve->meters.push_back({kDefaultMeterName, path});
    return true;
}

// The page as a browser is told it: an IPv6 host in brackets.
std::string PageAddress(const std::string& host, int port) {
    const bool v6 = host.find(':') != std::string::npos;
    return std::string("http://") + (v6 ? "[" : "") + host + (v6 ? "]" : "") + ":" +
           std::to_string(port) + "/";
}

// The server and the client, started in turn; each stops before what it reads goes.
int ServeUntilStopped(Station& station, ServeOptions& serve, std::atomic<bool>& stop) {
    StationHttp http(station, serve.http);
    std::string error;
    if (!http.Start(&error)) {
        std::fprintf(stderr, "ferrolog-cli: %s\n", error.c_str());
        return kExitFailed;
    }
    const std::string url = PageAddress(serve.http.host, http.Port());
    std::fprintf(stderr, "Serving %zu meter%s at %s\n", serve.meters.size(),
                 serve.meters.size() == 1 ? "" : "s", url.c_str());
    if (!Loopback(serve.http.host))
        std::fprintf(stderr,
                     "Listening beyond the loopback: whoever reaches it reads the meters.\n");
    std::unique_ptr<StationMqtt> mqtt;
    if (serve.mqtt) {
        mqtt = std::make_unique<StationMqtt>(station, *serve.mqtt);
        if (!mqtt->Start(&error)) {
            std::fprintf(stderr, "ferrolog-cli: %s\n", error.c_str());
            return kExitFailed;
        }
        std::fprintf(stderr, "Publishing to %s:%d under %s/\n", serve.mqtt->host.c_str(),
                     serve.mqtt->port, serve.mqtt->prefix.c_str());
    }
    // Once everything the page shows has started.
    if (serve.open && !OpenInBrowser(url, &error))
        std::fprintf(stderr, "ferrolog-cli: warning: %s\n", error.c_str());
    while (!stop)
        SleepMs(kStopLookMs);
    if (mqtt) mqtt->Stop();
    http.Stop();
    return 0;
}

}  // namespace

int RunServe(const CliOptions& options, MeterLink& link) {
    ServeOptions serve;
    std::string problem;
    if (!ParseServeOptions(options, &serve, &problem)) return RefuseUsage(problem);
    if (!ReadyToServe(serve)) return kExitFailed;
    const bool ownLinks = !serve.meters.empty();
    if (!ownLinks && !DefaultMeter(options, link, &serve)) return kExitFailed;

    StationOptions stationOptions;
    stationOptions.everyMs = serve.everyMs;
    stationOptions.spectrumEveryMs = serve.spectrumEveryMs;
    stationOptions.recordDir = serve.recordDir;
    Station station(stationOptions);
    // The default meter keeps the tool's own link; every --meter gets one of its own.
    std::vector<std::unique_ptr<MeterLink>> links;
    for (const ServeMeter& meter : serve.meters) {
        if (ownLinks) links.push_back(std::make_unique<MeterLink>());
        station.AddMeter(meter.name, meter.path, ownLinks ? *links.back() : link);
    }
    std::atomic<bool> stop{false};
    RaiseOnSignals(&stop, {SIGINT, SIGTERM}, false);
    station.Start();
    const int status = ServeUntilStopped(station, serve, stop);
    station.Stop();
    StopRaisingOnSignals({SIGINT, SIGTERM});
    for (const std::unique_ptr<MeterLink>& meterLink : links)
        meterLink->port.Close();
    return status;
}
