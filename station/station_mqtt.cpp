// Placeholder until the MQTT client is built: it refuses to start.
#include "station/station_mqtt.h"

struct StationMqtt::Impl {};

StationMqtt::StationMqtt(Station&, MqttOptions) : impl_(std::make_unique<Impl>()) {}
StationMqtt::~StationMqtt() = default;

bool StationMqtt::Start(std::string* error) {
    *error = "the MQTT client is not built";
    return false;
}

void StationMqtt::Stop() {}
