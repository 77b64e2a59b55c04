// The MQTT client in a build without libmosquitto (Windows): serve refuses --mqtt before it
// starts anything, and a client that is made anyway never starts.

#include "station/station_mqtt.h"

struct StationMqtt::Impl {};

bool StationMqttInBuild() {
    return false;
}

StationMqtt::StationMqtt(Station&, MqttOptions) {}

StationMqtt::~StationMqtt() = default;

bool StationMqtt::Start(std::string* error) {
    *error = "MQTT is not in the Windows build";
    return false;
}

void StationMqtt::Stop() {}
