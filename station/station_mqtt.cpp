// One broker connection per meter, each with its meter's availability topic as its last will:
// a broker keeps one will per connection, and only this way does every meter's "offline"
// arrive when the station dies, with no second topic for Home Assistant to combine.
//
// The client's one thread owns every connection and drives them itself (poll, then
// mosquitto_loop without waiting), so libmosquitto starts no thread of its own and gives up on
// no error: a name that does not resolve yet or a refused login is retried like a broker that
// is away. The station's listeners only queue the event and wake that thread.
#include "station/station_mqtt.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <mosquitto.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <deque>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "link/local_time.h"

namespace {

constexpr size_t kMaxQueuedEvents = 256;  // the oldest goes when the thread falls behind
constexpr int kKeepAliveSeconds = 30;
constexpr int64_t kFirstRetryMs = 500;
constexpr int64_t kLongestRetryMs = 30000;
constexpr int64_t kConnectBoundMs = 10000;  // a broker that never answers the CONNECT
constexpr int64_t kStopFlushMs = 600;       // for the brokers to confirm "offline"
constexpr int64_t kStopGraceMs = 100;       // then, once its host has every byte
constexpr int kStopLookMs = 10;             // how often the flush looks at the send queues
constexpr int kIdlePollMs = 1000;           // keep-alive pings need a turn at least this often
constexpr char kOnline[] = "online";
constexpr char kOffline[] = "offline";

int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            constexpr char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[(c >> 4) & 0xf];
            out += kHex[c & 0xf];
        } else {
            out += c;
        }
    }
    return out + '"';
}

// The shortest text that reads back as the same float, in every locale.
std::string Decimal(float value) {
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// Members written in order: {"a":1,"b":"x"}.
class JsonObject {
  public:
    JsonObject& Raw(std::string_view key, std::string_view value) {
        text_ += text_.empty() ? "{" : ",";
        text_ += Quote(key) + ':';
        text_ += value;
        return *this;
    }
    JsonObject& String(std::string_view key, std::string_view value) {
        return Raw(key, Quote(value));
    }
    std::string Text() const { return text_.empty() ? "{}" : text_ + '}'; }

  private:
    std::string text_;
};

// Home Assistant's entities, one per quantity the state carries.
struct Quantity {
    const char* id;    // in the unique id and the discovery topic
    const char* name;  // the entity's name under its device
    const char* unit;
    const char* key;  // the state's member
    bool rf;          // only on models that sweep RF
};
constexpr Quantity kQuantities[] = {
    {"x", "X", "mG", "x_mg", false},     {"y", "Y", "mG", "y_mg", false},
    {"z", "Z", "mG", "z_mg", false},     {"emf", "EMF", "mG", "emf_mg", false},
    {"ef", "EF", "V/m", "ef_vm", false}, {"rf_peak", "RF peak", "dBm", "rf_peak_dbm", true},
};

int PeakDbm(const StationSpectrum& spectrum) {
    return *std::max_element(spectrum.dbm.begin(), spectrum.dbm.end());
}

std::string StatePayload(const MeterSnapshot& meter) {
    const FieldRow& row = *meter.reading;
    JsonObject json;
    json.String("time", IsoLocalTime(row.time))
        .Raw("x_mg", Decimal(row.xMg))
        .Raw("y_mg", Decimal(row.yMg))
        .Raw("z_mg", Decimal(row.zMg))
        .Raw("emf_mg", Decimal(row.emfMg))
        .Raw("ef_vm", Decimal(row.efVm));
    if (meter.spectrum) json.Raw("rf_peak_dbm", std::to_string(PeakDbm(*meter.spectrum)));
    return json.Text();
}

std::string DevicePayload(const MeterSnapshot& meter) {
    return JsonObject()
        .Raw("identifiers", "[" + Quote("ferrolog_" + meter.name) + "]")
        .String("name", meter.name)
        .String("model", meter.model)
        .String("sw_version", Decimal(static_cast<float>(meter.firmware)))
        .Text();
}

bool ValidPrefix(const std::string& prefix) {
    return !prefix.empty() && prefix.front() != '/' && prefix.back() != '/' &&
           prefix.find_first_of("+#") == std::string::npos;
}

// Every byte written on the connection acknowledged by the broker's host (its TCP): the broker
// reads them, the offline before the disconnect, whenever it reads again.
bool AllBytesAcknowledged(mosquitto* mosq) {
    const int fd = mosquitto_socket(mosq);
    int unacknowledged = 0;
    return fd >= 0 && !mosquitto_want_write(mosq) && ioctl(fd, SIOCOUTQ, &unacknowledged) == 0 &&
           unacknowledged == 0;
}

// Process-wide: libmosquitto's own set-up, done once and kept for the process's life, as the
// library asks (its clean-up must not run while another client may exist).
void InitLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

}  // namespace

bool StationMqttInBuild() {
    return true;
}

struct StationMqtt::Impl {
    // One meter's connection; used only on the client's thread.
    struct Client {
        Impl* owner = nullptr;
        std::string name;
        std::string stateTopic;
        std::string availabilityTopic;
        mosquitto* mosq = nullptr;
        bool everTried = false;
        bool connected = false;
        bool announce = false;  // just connected: discovery, availability and state are due
        int64_t attemptMs = 0;  // when the pending connect began; 0: none pending
        int64_t retryAtMs = 0;
        int64_t retryDelayMs = kFirstRetryMs;
        std::string announcedDevice;  // the device block this connection published
        std::pair<int64_t, int64_t> lastState{-1, -1};  // reading and sweep times published
        std::set<int> unconfirmed;                      // QoS 1 messages the broker has not acked
        bool saidOffline = false;                       // stopping: its goodbye is sent
        int64_t handedOverMs = 0;  // stopping: when the broker's host had all of it; 0: not yet

        // libmosquitto's callbacks, run inside mosquitto_loop on the client's thread.
        static void OnConnect(mosquitto*, void* obj, int rc);
        static void OnDisconnect(mosquitto*, void* obj, int rc);
        static void OnPublish(mosquitto*, void* obj, int mid);
    };

    Impl(Station& s, MqttOptions o) : station(s), options(std::move(o)) {}

    Station& station;
    const MqttOptions options;
    std::vector<std::unique_ptr<Client>> clients;
    int listenerId = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    std::thread thread;

    std::mutex mutex;  // guards events and stopping, shared with the meters' workers
    std::deque<StationEvent> events;
    bool stopping = false;

    ~Impl() {
        for (auto& c : clients)
            if (c->mosq) mosquitto_destroy(c->mosq);
        if (wakeRead >= 0) close(wakeRead);
        if (wakeWrite >= 0) close(wakeWrite);
    }

    bool Prepare(std::string* error);
    bool PrepareClient(Client& client, std::string* error);
    void Queue(const StationEvent& event);
    void Wake();
    void Run();
    bool TakeEvents(std::deque<StationEvent>* taken);
    void ConnectDue(int64_t now);
    void Connect(Client& client, int64_t now);
    void Lost(Client& client, int64_t now);
    void PollOnce(int timeoutMs);
    int NextTimeoutMs(int64_t now) const;
    void Handle(const StationEvent& event);
    void Announce(Client& client);
    void PublishDiscovery(Client& client, const MeterSnapshot& meter);
    void PublishState(Client& client, const MeterSnapshot& meter);
    void PublishAvailability(Client& client, bool up);
    void Publish(Client& client, const std::string& topic, const std::string& payload, bool retain,
                 int qos = 0);
    void Shutdown();
    bool SayOfflineOnEveryConnection(int64_t now);
    Client* Find(const std::string& name);
    // Connected or connecting: a socket worth waiting on (a dead one would wake poll at once).
    static bool Live(const Client& c) { return c.connected || c.attemptMs != 0; }
};

void StationMqtt::Impl::Client::OnConnect(mosquitto*, void* obj, int rc) {
    auto& client = *static_cast<Client*>(obj);
    if (rc != 0) return client.owner->Lost(client, SteadyMs());  // refused: retried later
    client.attemptMs = 0;
    client.connected = true;
    client.announce = true;
    client.retryDelayMs = kFirstRetryMs;
    client.announcedDevice.clear();
    client.lastState = {-1, -1};
}

void StationMqtt::Impl::Client::OnDisconnect(mosquitto*, void* obj, int) {
    auto& client = *static_cast<Client*>(obj);
    client.owner->Lost(client, SteadyMs());
}

void StationMqtt::Impl::Client::OnPublish(mosquitto*, void* obj, int mid) {
    static_cast<Client*>(obj)->unconfirmed.erase(mid);
}

bool StationMqtt::Impl::Prepare(std::string* error) {
    if (options.host.empty()) return *error = "the MQTT broker's host is empty", false;
    if (options.port < 1 || options.port > 65535)
        return *error = "the MQTT broker's port is not between 1 and 65535", false;
    if (!ValidPrefix(options.prefix))
        return *error = "the MQTT prefix must not be empty, start or end with '/', or hold + or #",
               false;
    int pipeFds[2];
    if (pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0)
        return *error = "no pipe for the MQTT client's thread", false;
    wakeRead = pipeFds[0];
    wakeWrite = pipeFds[1];
    InitLibraryOnce();
    for (const std::string& name : station.Names()) {
        auto client = std::make_unique<Client>();
        client->owner = this;
        client->name = name;
        if (!PrepareClient(*client, error)) return false;
        clients.push_back(std::move(client));
    }
    return true;
}

bool StationMqtt::Impl::PrepareClient(Client& client, std::string* error) {
    client.stateTopic = options.prefix + "/" + client.name + "/state";
    client.availabilityTopic = options.prefix + "/" + client.name + "/availability";
    // No client id: the broker gives each connection its own, so two stations never collide.
    client.mosq = mosquitto_new(nullptr, true, &client);
    if (!client.mosq) return *error = "libmosquitto could not make a client", false;
    int rc = mosquitto_will_set(client.mosq, client.availabilityTopic.c_str(),
                                static_cast<int>(sizeof kOffline - 1), kOffline, 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !options.user.empty())
        rc = mosquitto_username_pw_set(client.mosq, options.user.c_str(), options.password.c_str());
    if (rc != MOSQ_ERR_SUCCESS)
        return *error = std::string("MQTT: ") + mosquitto_strerror(rc), false;
    mosquitto_connect_callback_set(client.mosq, Client::OnConnect);
    mosquitto_disconnect_callback_set(client.mosq, Client::OnDisconnect);
    mosquitto_publish_callback_set(client.mosq, Client::OnPublish);
    return true;
}

void StationMqtt::Impl::Queue(const StationEvent& event) {
    {
        std::lock_guard lock(mutex);
        if (events.size() >= kMaxQueuedEvents) events.pop_front();
        events.push_back(event);
    }
    Wake();
}

// Never blocks: a full pipe already holds a wake-up.
void StationMqtt::Impl::Wake() {
    char byte = 1;
    [[maybe_unused]] ssize_t n = write(wakeWrite, &byte, 1);
}

bool StationMqtt::Impl::TakeEvents(std::deque<StationEvent>* taken) {
    std::lock_guard lock(mutex);
    taken->swap(events);
    return !stopping;
}

void StationMqtt::Impl::Run() {
    std::deque<StationEvent> taken;
    while (TakeEvents(&taken)) {
        ConnectDue(SteadyMs());
        for (const StationEvent& event : taken)
            Handle(event);
        taken.clear();
        for (auto& c : clients)
            if (c->announce) Announce(*c);
        PollOnce(NextTimeoutMs(SteadyMs()));
    }
    Shutdown();
}

void StationMqtt::Impl::ConnectDue(int64_t now) {
    for (auto& c : clients) {
        if (c->connected) continue;
        if (c->attemptMs != 0 && now - c->attemptMs >= kConnectBoundMs) Lost(*c, now);
        if (c->attemptMs == 0 && now >= c->retryAtMs) Connect(*c, now);
    }
}

void StationMqtt::Impl::Connect(Client& client, int64_t now) {
    int rc = client.everTried ? mosquitto_reconnect_async(client.mosq)
                              : mosquitto_connect_async(client.mosq, options.host.c_str(),
                                                        options.port, kKeepAliveSeconds);
    client.everTried = true;
    if (rc == MOSQ_ERR_SUCCESS) {
        client.attemptMs = std::max<int64_t>(now, 1);
    } else {
        Lost(client, now);
    }
}

// Schedules the next attempt, each one waiting twice as long as the one before, up to a bound.
void StationMqtt::Impl::Lost(Client& client, int64_t now) {
    client.connected = false;
    client.announce = false;
    client.attemptMs = 0;
    client.unconfirmed.clear();
    if (client.retryAtMs > now) return;  // already scheduled
    client.retryAtMs = now + client.retryDelayMs;
    client.retryDelayMs = std::min(client.retryDelayMs * 2, kLongestRetryMs);
}

int StationMqtt::Impl::NextTimeoutMs(int64_t now) const {
    int64_t timeout = kIdlePollMs;
    for (const auto& c : clients)
        if (!c->connected && c->attemptMs == 0) timeout = std::min(timeout, c->retryAtMs - now);
    return static_cast<int>(std::max<int64_t>(timeout, 0));
}

// Waits for a socket, the wake pipe or the timeout, then lets each connection do its work.
void StationMqtt::Impl::PollOnce(int timeoutMs) {
    std::vector<pollfd> fds{{wakeRead, POLLIN, 0}};
    for (auto& c : clients) {
        int fd = Live(*c) ? mosquitto_socket(c->mosq) : -1;
        if (fd < 0) continue;
        short want = POLLIN;
        if (mosquitto_want_write(c->mosq)) want |= POLLOUT;
        fds.push_back({fd, want, 0});
    }
    poll(fds.data(), fds.size(), timeoutMs);
    char drain[64];
    while (read(wakeRead, drain, sizeof drain) > 0) {
    }
    for (auto& c : clients) {
        if (!Live(*c) || mosquitto_socket(c->mosq) < 0) continue;
        int rc = mosquitto_loop(c->mosq, 0, 1);
        if (rc != MOSQ_ERR_SUCCESS) Lost(*c, SteadyMs());
    }
}

StationMqtt::Impl::Client* StationMqtt::Impl::Find(const std::string& name) {
    for (auto& c : clients)
        if (c->name == name) return c.get();
    return nullptr;
}

void StationMqtt::Impl::Handle(const StationEvent& event) {
    Client* client = Find(event.meter);
    if (!client || !client->connected) return;  // announced afresh once connected
    auto meter = station.Snapshot(event.meter);
    if (!meter) return;
    switch (event.kind) {
        case StationEventKind::Reading:
        case StationEventKind::Spectrum:
            PublishState(*client, *meter);
            break;
        case StationEventKind::Up:
            PublishDiscovery(*client, *meter);
            PublishAvailability(*client, meter->up);
            PublishState(*client, *meter);
            break;
        case StationEventKind::Down:
            PublishAvailability(*client, false);
            break;
    }
}

void StationMqtt::Impl::Announce(Client& client) {
    client.announce = false;
    auto meter = station.Snapshot(client.name);
    if (!meter) return;
    PublishDiscovery(client, *meter);
    PublishAvailability(client, meter->up);
    PublishState(client, *meter);
}

// Once the meter is identified (the device block needs its model), and again when it changes.
void StationMqtt::Impl::PublishDiscovery(Client& client, const MeterSnapshot& meter) {
    if (meter.model.empty()) return;
    std::string device = DevicePayload(meter);
    if (device == client.announcedDevice) return;
    client.announcedDevice = device;
    for (const Quantity& q : kQuantities) {
        std::string objectId = "ferrolog_" + meter.name + "_" + q.id;
        std::string topic = "homeassistant/sensor/" + objectId + "/config";
        if (q.rf && !meter.hasSpectrum) {
            Publish(client, topic, "", true);  // an empty retained config removes the entity
            continue;
        }
        std::string member = std::string("value_json.") + q.key;
        // A state without the member (no fresh sweep) leaves the sensor unknown, not stale.
        std::string value = q.rf ? "{{ " + member + " if " + member + " is defined else none }}"
                                 : "{{ " + member + " }}";
        Publish(client, topic,
                JsonObject()
                    .String("name", q.name)
                    .String("object_id", objectId)
                    .String("unique_id", objectId)
                    .String("state_topic", client.stateTopic)
                    .String("value_template", value)
                    .String("unit_of_measurement", q.unit)
                    .String("state_class", "measurement")
                    .String("availability_topic", client.availabilityTopic)
                    .String("payload_available", kOnline)
                    .String("payload_not_available", kOffline)
                    .Raw("device", device)
                    .Text(),
                true);
    }
}

void StationMqtt::Impl::PublishState(Client& client, const MeterSnapshot& meter) {
    if (!meter.reading) return;  // no fresh reading: nothing to tell, never an old one
    std::pair<int64_t, int64_t> stamp{meter.reading->time,
                                      meter.spectrum ? meter.spectrum->time : 0};
    if (stamp == client.lastState) return;
    client.lastState = stamp;
    Publish(client, client.stateTopic, StatePayload(meter), false);
}

void StationMqtt::Impl::PublishAvailability(Client& client, bool up) {
    Publish(client, client.availabilityTopic, up ? kOnline : kOffline, true);
}

void StationMqtt::Impl::Publish(Client& client, const std::string& topic,
                                const std::string& payload, bool retain, int qos) {
    int mid = 0;
    int rc = mosquitto_publish(client.mosq, &mid, topic.c_str(), static_cast<int>(payload.size()),
                               payload.data(), qos, retain);
    if (rc == MOSQ_ERR_SUCCESS && qos > 0) client.unconfirmed.insert(mid);
}

// Every connected meter offline, then a clean disconnect, so no will fires for a station that
// said goodbye. The connections flush side by side, within a bound; none is waited for that is
// not up (a broker that is away costs no time), nor long for a broker that stopped reading.
void StationMqtt::Impl::Shutdown() {
    const int64_t deadline = SteadyMs() + kStopFlushMs;
    while (SteadyMs() < deadline && SayOfflineOnEveryConnection(SteadyMs()))
        PollOnce(static_cast<int>(std::clamp<int64_t>(deadline - SteadyMs(), 1, kStopLookMs)));
    for (auto& c : clients) {
        if (mosquitto_socket(c->mosq) < 0) continue;
        mosquitto_disconnect(c->mosq);
        mosquitto_loop(c->mosq, 0, 1);  // writes what the disconnect left queued
    }
}

// Publishes offline on each connection up that has not said it yet, one that finished
// connecting during the flush included (its "online" may be retained from before). True while
// one waits for the broker's confirmation: a broker that answers confirms at once; one whose
// host took every byte but that confirms nothing within a grace (stopped, swapping) reads the
// offline when it reads again, and the disconnect after it.
bool StationMqtt::Impl::SayOfflineOnEveryConnection(int64_t now) {
    bool waiting = false;
    for (auto& c : clients) {
        if (!c->connected) continue;
        if (!c->saidOffline) Publish(*c, c->availabilityTopic, kOffline, true, 1);
        c->saidOffline = true;
        if (c->unconfirmed.empty()) continue;
        if (c->handedOverMs == 0 && AllBytesAcknowledged(c->mosq)) c->handedOverMs = now;
        waiting = waiting || c->handedOverMs == 0 || now - c->handedOverMs < kStopGraceMs;
    }
    return waiting;
}

StationMqtt::StationMqtt(Station& station, MqttOptions options)
    : impl_(std::make_unique<Impl>(station, std::move(options))) {}

StationMqtt::~StationMqtt() {
    Stop();
}

bool StationMqtt::Start(std::string* error) {
    if (impl_->thread.joinable()) return true;
    if (!impl_->Prepare(error)) return false;
    Impl* impl = impl_.get();
    impl->listenerId = impl->station.Subscribe([impl](const StationEvent& e) { impl->Queue(e); });
    impl->thread = std::thread([impl] { impl->Run(); });
    return true;
}

void StationMqtt::Stop() {
    if (!impl_->thread.joinable()) return;
    impl_->station.Unsubscribe(impl_->listenerId);
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->Wake();
    impl_->thread.join();
}
