// How long `ferrolog-cli serve --mqtt` takes from SIGTERM to its exit, against the 1 s it is
// allowed: with the broker there (offline confirmed, then a clean disconnect), with a broker
// that stopped answering (the bounded wait for its confirmation) and with one that went away
// (the client between its attempts).

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/file_text.h"
#include "tests/support/meter_process.h"
#include "tests/support/mosquitto_broker.h"
#include "tests/support/mqtt_subscriber.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_until.h"

namespace {

constexpr int kRuns = 7;
constexpr int kWaitMs = 20000;
constexpr double kTargetMs = 1000;
const std::string kAvailability = "ferrolog/meter/availability";

// What becomes of the broker once the meter is online.
enum class Broker { There, Frozen, Gone };  // Frozen: SIGSTOP, connected but never confirming
struct Case {
    const char* name;
    Broker broker;
};

double MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// One serve from its start to its end; the milliseconds from SIGTERM to exit, or -1.
double OneStop(Broker what, MosquittoBroker& broker, const std::string& device,
               const std::string& log) {
    MqttSubscriber live(broker.Port());
    ChildProcess serve(FERROLOG_CLI_PATH,
                       {"--device", device, "serve", "--mqtt",
                        "127.0.0.1:" + std::to_string(broker.Port()), "--listen", "127.0.0.1:0"},
                       log);
    if (!live.WaitFor(kAvailability, [](const MqttMessage& m) { return m.payload == "online"; }))
        return -1;
    if (what == Broker::Frozen) broker.Signal(SIGSTOP);
    if (what == Broker::Gone) broker.Stop();
    const auto start = std::chrono::steady_clock::now();
    serve.Signal(SIGTERM);
    const bool ended = serve.WaitExit(kWaitMs) == 0;
    const double ms = MsSince(start);
    if (what == Broker::Frozen) broker.Signal(SIGCONT);
    if (what == Broker::Gone && !broker.Start()) return -1;
    return ended ? ms : -1;
}

}  // namespace

int main() {
    if (!MosquittoBroker::Installed()) {
        std::printf("station_mqtt_bench: mosquitto is not installed\n");
        return 0;
    }
    MosquittoBroker broker;
    MeterProcess meter({"--fast", "--model", "ZTX440"});
    TempDir dir;
    const Case cases[] = {{"broker there", Broker::There},
                          {"broker frozen", Broker::Frozen},
                          {"broker gone", Broker::Gone}};
    for (const Case& c : cases) {
        std::vector<double> ms;
        for (int run = 0; run < kRuns; ++run) {
            const std::string log = dir.File(c.name + std::to_string(run) + ".log");
            const double one = OneStop(c.broker, broker, meter.DevicePath(), log);
            if (one < 0) {
                std::printf("%s: serve did not start or stop\n%s", c.name, ReadFile(log).c_str());
                return 1;
            }
            ms.push_back(one);
        }
        std::sort(ms.begin(), ms.end());
        std::printf(
            "SIGTERM to exit, %-14s median %6.1f ms, max %6.1f ms (%.2f of the %.0f ms"
            " bound), %d runs\n",
            c.name, ms[ms.size() / 2], ms.back(), ms.back() / kTargetMs, kTargetMs, kRuns);
    }
    return 0;
}
