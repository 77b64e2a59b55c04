#pragma once
// The station's MQTT client: each meter's state on every fetch, its availability (retained,
// with "offline" as the last will) and Home Assistant discovery. The broker going away never
// stops the station: the client reconnects with backoff and keeps no unbounded queue.

#include <memory>
#include <string>

#include "station/station.h"

struct MqttOptions {
    std::string host;
    int port = 1883;
    std::string prefix = "ferrolog";
    std::string user;      // empty: no login
    std::string password;  // read from --mqtt-password-file
};

// False in a build without the client (Windows): there Start always fails and says so.
bool StationMqttInBuild();

class StationMqtt {
  public:
    StationMqtt(Station& station, MqttOptions options);
    ~StationMqtt();  // stops and joins
    StationMqtt(const StationMqtt&) = delete;
    StationMqtt& operator=(const StationMqtt&) = delete;

    // Starts the client's thread; false with the reason only for what no retry mends (a bad
    // option). A broker that is not there yet is retried.
    bool Start(std::string* error);
    // Publishes every meter offline, disconnects and joins.
    void Stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
