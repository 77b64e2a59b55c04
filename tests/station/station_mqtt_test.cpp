// The station's MQTT client against a real mosquitto and a virtual meter on a pseudo-terminal:
// the state it publishes and what the broker retains, its comeback after the broker restarts,
// and the offline that `ferrolog-cli serve` leaves behind when killed or stopped.

#include "station/station_mqtt.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <map>

#include "link/local_time.h"
#include "tests/support/file_text.h"
#include "tests/support/meter_process.h"
#include "tests/support/mosquitto_broker.h"
#include "tests/support/mqtt_subscriber.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_until.h"

namespace {

constexpr int kWaitMs = 20000;
const std::string kState = "ferrolog/meter/state";
const std::string kAvailability = "ferrolog/meter/availability";

bool Retained(const MqttMessage& m) {
    return m.retained;
}
bool Online(const MqttMessage& m) {
    return m.payload == "online";
}

// A JSON object's top-level members as written, strings without their quotes; enough to read
// what the client writes (no escaped quote in a key).
std::map<std::string, std::string> Members(const std::string& json) {
    std::map<std::string, std::string> members;
    int depth = 0;
    bool quoted = false;
    size_t start = 0;
    for (size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (quoted) {
            i += c == '\\';
            quoted = c != '"';
        } else if (c == '"') {
            quoted = true;
        } else if ((c == '{' || c == '[') && ++depth == 1) {
            start = i + 1;
        } else if ((c == '}' || c == ']' || c == ',') && depth == 1) {
            const std::string member = json.substr(start, i - start);
            const size_t keyEnd = member.find('"', 1);
            std::string value = member.substr(member.find(':', keyEnd) + 1);
            if (value.size() >= 2 && value.front() == '"')
                value = value.substr(1, value.size() - 2);
            if (keyEnd != std::string::npos) members[member.substr(1, keyEnd - 1)] = value;
            start = i + 1;
            depth -= c != ',';
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return members;
}

std::optional<float> Number(const std::string& text) {
    float value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The state is the reading the station kept for its second, value for value.
void ExpectStateOfARow(const std::string& payload, const std::vector<FieldRow>& rows) {
    std::map<std::string, std::string> state = Members(payload);
    int64_t time = 0;
    ASSERT_TRUE(ParseIsoTime(state["time"], &time)) << payload;
    auto row = std::find_if(rows.begin(), rows.end(), [&](auto& r) { return r.time == time; });
    ASSERT_NE(row, rows.end()) << payload;
    const std::pair<const char*, float> values[] = {{"x_mg", row->xMg},
                                                    {"y_mg", row->yMg},
                                                    {"z_mg", row->zMg},
                                                    {"emf_mg", row->emfMg},
                                                    {"ef_vm", row->efVm}};
    for (const auto& [key, value] : values)
        EXPECT_EQ(Number(state[key]), value) << key << " in " << payload;
    EXPECT_TRUE(Number(state["rf_peak_dbm"])) << payload;
}

// Home Assistant's entities as the station names them, by hand from the state's members.
struct Entity {
    const char* id;
    const char* name;
    const char* unit;
    const char* member;
};
constexpr Entity kEntities[] = {
    {"x", "X", "mG", "x_mg"},     {"y", "Y", "mG", "y_mg"},
    {"z", "Z", "mG", "z_mg"},     {"emf", "EMF", "mG", "emf_mg"},
    {"ef", "EF", "V/m", "ef_vm"}, {"rf_peak", "RF peak", "dBm", "rf_peak_dbm"},
};

// What a subscriber that comes now finds retained: the meter online and its six entities.
void ExpectRetainedAnnouncement(int port) {
    MqttSubscriber fresh(port);
    ASSERT_TRUE(fresh.Ready());
    const std::optional<MqttMessage> availability = fresh.WaitFor(kAvailability, Retained);
    ASSERT_TRUE(availability);
    EXPECT_EQ(availability->payload, "online");
    for (const Entity& e : kEntities) {
        const std::string id = std::string("ferrolog_meter_") + e.id;
        const std::optional<MqttMessage> config =
            fresh.WaitFor("homeassistant/sensor/" + id + "/config", Retained);
        ASSERT_TRUE(config) << id;
        std::map<std::string, std::string> c = Members(config->payload);
        std::map<std::string, std::string> device = Members(c["device"]);
        EXPECT_EQ(c["unique_id"], id);
        EXPECT_EQ(c["name"], e.name) << id;
        EXPECT_EQ(c["unit_of_measurement"], e.unit) << id;
        EXPECT_EQ(c["state_class"], "measurement") << id;
        EXPECT_EQ(c["state_topic"], kState) << id;
        EXPECT_EQ(c["availability_topic"], kAvailability) << id;
        EXPECT_NE(c["value_template"].find(std::string("value_json.") + e.member),
                  std::string::npos)
            << id;
        EXPECT_EQ(device["identifiers"], "[\"ferrolog_meter\"]") << id;
        EXPECT_EQ(device["name"], "meter") << id;
        EXPECT_EQ(device["model"], "ZTX440") << id;
        EXPECT_EQ(device["sw_version"], "3.62") << id;  // the virtual ZTX440's firmware
    }
}

// A virtual meter with sweeps, fetched four times a second by a station publishing to port.
struct PublishingStation {
    static StationOptions Options() {
        StationOptions options;
        options.everyMs = 250;
        options.spectrumEveryMs = 500;
        return options;
    }
    static MqttOptions Broker(int port) {
        MqttOptions options;
        options.host = "127.0.0.1";
        options.port = port;
        return options;
    }
    explicit PublishingStation(int port) : mqtt(station, Broker(port)) {
        station.AddMeter("meter", meter.DevicePath(), link);
        station.Start();
        started = mqtt.Start(&error);
    }
    int64_t LastReadingTime() const {
        return station.Snapshot("meter").value_or(MeterSnapshot{}).lastReadingTime;
    }

    MeterProcess meter{{"--fast", "--model", "ZTX440"}};
    MeterLink link;
    Station station{Options()};
    StationMqtt mqtt;  // stops before the station it reads
    bool started = false;
    std::string error;
};

class StationMqttTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!MosquittoBroker::Installed())
            GTEST_SKIP() << "mosquitto is not installed (apt-get install mosquitto)";
        broker.emplace();
        ASSERT_TRUE(broker->Running()) << ReadFile(broker->LogPath());
    }
    int Port() const { return broker->Port(); }

    std::optional<MosquittoBroker> broker;
};

TEST_F(StationMqttTest, PublishesChangingStateAndRetainsAvailabilityAndDiscovery) {
    MqttSubscriber live(Port());
    ASSERT_TRUE(live.Ready());
    PublishingStation served(Port());
    ASSERT_TRUE(served.started) << served.error;
    const auto swept = [](const MqttMessage& m) { return Members(m.payload).count("rf_peak_dbm"); };
    const std::optional<MqttMessage> first = live.WaitFor(kState, swept);
    ASSERT_TRUE(first);
    const std::optional<MqttMessage> next = live.WaitFor(
        kState, [&](const MqttMessage& m) { return swept(m) && m.payload != first->payload; });
    ASSERT_TRUE(next);
    EXPECT_FALSE(next->retained);
    ExpectStateOfARow(next->payload, served.station.Rows("meter", 0));
    ExpectRetainedAnnouncement(Port());
}

// The broker goes away for a few of the station's seconds and comes back empty on its port.
TEST_F(StationMqttTest, AnnouncesAgainAndPublishesOnAfterTheBrokerRestarts) {
    PublishingStation served(Port());
    ASSERT_TRUE(served.started) << served.error;
    {
        MqttSubscriber before(Port());
        ASSERT_TRUE(before.WaitFor(kState));
    }
    broker->Stop();
    const int64_t stoppedAt = served.LastReadingTime();
    ASSERT_TRUE(WaitUntil([&] { return served.LastReadingTime() >= stoppedAt + 2; }, kWaitMs));
    ASSERT_TRUE(broker->Start()) << ReadFile(broker->LogPath());
    MqttSubscriber after(Port());
    ASSERT_TRUE(after.Ready());
    EXPECT_TRUE(after.WaitFor(kAvailability, Online));
    EXPECT_TRUE(after.WaitFor(kState));
    ExpectRetainedAnnouncement(Port());
}

// Killed, the broker sends the station's will; stopped, the station says offline itself and
// exits 0, also to a broker that stopped reading (it reads the goodbye once it goes on). Either
// way a subscriber that comes later finds the meter offline.
TEST_F(StationMqttTest, ServeLeavesItsMeterOfflineWhenKilledOrStopped) {
    TempDir dir;
    const struct {
        int signal;
        bool brokerFrozen;
        int exitCode;
    } cases[] = {{SIGKILL, false, 128 + SIGKILL}, {SIGTERM, false, 0}, {SIGTERM, true, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(strsignal(c.signal)) + (c.brokerFrozen ? ", broker frozen" : ""));
        MeterProcess meter({"--fast", "--model", "ZTX440"});
        MqttSubscriber live(Port());
        ASSERT_TRUE(live.Ready());
        const std::string log = dir.File("serve.log");
        ChildProcess serve(FERROLOG_CLI_PATH,
                           {"--device", meter.DevicePath(), "serve", "--mqtt",
                            "127.0.0.1:" + std::to_string(Port()), "--listen", "127.0.0.1:0"},
                           log);
        ASSERT_TRUE(live.WaitFor(kAvailability, Online)) << ReadFile(log);
        if (c.brokerFrozen) broker->Signal(SIGSTOP);
        serve.Signal(c.signal);
        EXPECT_EQ(serve.WaitExit(kWaitMs), c.exitCode) << ReadFile(log);
        broker->Signal(SIGCONT);
        // Not an offline from before this station was up (a case before, the meter not yet up).
        bool wasOnline = false;
        EXPECT_TRUE(live.WaitFor(kAvailability, [&](const MqttMessage& m) {
            wasOnline = wasOnline || Online(m);
            return wasOnline && m.payload == "offline";
        }));
        MqttSubscriber later(Port());
        const std::optional<MqttMessage> left = later.WaitFor(kAvailability, Retained);
        ASSERT_TRUE(left);
        EXPECT_EQ(left->payload, "offline");
    }
}

}  // namespace
