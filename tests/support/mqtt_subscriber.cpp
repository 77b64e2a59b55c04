#include "tests/support/mqtt_subscriber.h"

#include <mosquitto.h>

#include <chrono>

namespace {

constexpr int kKeepAliveSeconds = 60;

// libmosquitto's set-up, once for the process and never undone while a client may exist.
void InitLibraryOnce() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

}  // namespace

MqttSubscriber::MqttSubscriber(int port) {
    InitLibraryOnce();
    mosq_ = mosquitto_new(nullptr, true, this);
    if (!mosq_) return;
    mosquitto_connect_callback_set(mosq_, OnConnect);
    mosquitto_subscribe_callback_set(mosq_, OnSubscribe);
    mosquitto_message_callback_set(mosq_, OnMessage);
    // The loop thread reconnects by itself once connected; the first attempt must succeed.
    if (mosquitto_connect(mosq_, "127.0.0.1", port, kKeepAliveSeconds) != MOSQ_ERR_SUCCESS) return;
    looping_ = mosquitto_loop_start(mosq_) == MOSQ_ERR_SUCCESS;
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(kWaitMs), [this] { return subscribed_; });
}

MqttSubscriber::~MqttSubscriber() {
    if (!mosq_) return;
    mosquitto_disconnect(mosq_);  // the loop thread ends only after a disconnect
    if (looping_) mosquitto_loop_stop(mosq_, false);
    mosquitto_destroy(mosq_);
}

bool MqttSubscriber::Ready() const {
    std::lock_guard lock(mutex_);
    return subscribed_;
}

std::optional<MqttMessage> MqttSubscriber::WaitFor(
    const std::string& topic, const std::function<bool(const MqttMessage&)>& condition,
    int timeoutMs) {
    std::optional<MqttMessage> found;
    size_t looked = 0;  // messages only ever get appended, so each is looked at once
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (; looked < messages_.size() && !found; ++looked) {
            const MqttMessage& m = messages_[looked];
            if (m.topic == topic && (!condition || condition(m))) found = m;
        }
        return found.has_value();
    });
    return found;
}

std::vector<MqttMessage> MqttSubscriber::On(const std::string& topic) const {
    std::vector<MqttMessage> on;
    std::lock_guard lock(mutex_);
    for (const MqttMessage& m : messages_)
        if (m.topic == topic) on.push_back(m);
    return on;
}

void MqttSubscriber::OnConnect(mosquitto* mosq, void*, int rc) {
    if (rc == 0) mosquitto_subscribe(mosq, nullptr, "#", 1);
}

void MqttSubscriber::OnSubscribe(mosquitto*, void* self, int, int, const int*) {
    auto* subscriber = static_cast<MqttSubscriber*>(self);
    std::lock_guard lock(subscriber->mutex_);
    subscriber->subscribed_ = true;
    subscriber->changed_.notify_all();
}

void MqttSubscriber::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* subscriber = static_cast<MqttSubscriber*>(self);
    MqttMessage m{message->topic, "", message->retain};
    if (message->payloadlen > 0)  // an empty payload may come as no pointer at all
        m.payload.assign(static_cast<const char*>(message->payload),
                         static_cast<size_t>(message->payloadlen));
    std::lock_guard lock(subscriber->mutex_);
    subscriber->messages_.push_back(std::move(m));
    subscriber->changed_.notify_all();
}
