#pragma once
// A libmosquitto client subscribed to every topic of a broker on the loopback, on the library's
// own loop thread, keeping every message that arrives for the test's thread to wait on.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

struct MqttMessage {
    std::string topic;
    std::string payload;
    // Sent from the broker's store on subscribing: only a fresh subscriber tells what the broker
    // retained (one already subscribed gets every publish live, flag clear).
    bool retained = false;
};

class MqttSubscriber {
  public:
    static constexpr int kWaitMs = 20000;

    // Connects to 127.0.0.1:port and subscribes to "#", again after every reconnect; Ready()
    // says whether the broker confirmed the subscription within a generous bound.
    explicit MqttSubscriber(int port);
    ~MqttSubscriber();  // disconnects and joins the loop thread
    MqttSubscriber(const MqttSubscriber&) = delete;
    MqttSubscriber& operator=(const MqttSubscriber&) = delete;

    bool Ready() const;
    // The first message on topic that meets condition (any, without one), waiting at most
    // timeoutMs; nothing when none came. condition runs under the subscriber's lock.
    std::optional<MqttMessage> WaitFor(
        const std::string& topic, const std::function<bool(const MqttMessage&)>& condition = {},
        int timeoutMs = kWaitMs);
    std::vector<MqttMessage> On(const std::string& topic) const;  // every one so far, in order

  private:
    static void OnConnect(mosquitto* mosq, void* self, int rc);
    static void OnSubscribe(mosquitto*, void* self, int, int, const int*);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);

    mosquitto* mosq_ = nullptr;
    bool looping_ = false;
    mutable std::mutex mutex_;  // guards what follows, written on the loop thread
    std::condition_variable changed_;
    bool subscribed_ = false;
    std::vector<MqttMessage> messages_;
};
