#pragma once
// One virtual meter on a pseudo-terminal, served by a station and its web server on a free
// loopback port: what the web tests, the browser test and the benchmarks all start from.

#include <optional>
#include <string>
#include <vector>

#include "station/station_http.h"
#include "tests/support/meter_process.h"

struct ServedStation {
    // meterArgs go to ferrolog-meter (e.g. {"--fast", "--model", "ZTX440"}).
    explicit ServedStation(std::vector<std::string> meterArgs = {"--fast"},
                           StationOptions options = {},
                           std::optional<std::string> token = std::nullopt)
        : meter(std::move(meterArgs)), station(options), http(station, {"127.0.0.1", 0, token}) {
        station.AddMeter("meter", meter.DevicePath(), link);
        station.Start();
        started = http.Start(&error);
    }
    ~ServedStation() {
        http.Stop();
        station.Stop();
    }
    int Port() const { return http.Port(); }
    bool HasReading() const {
        const std::optional<MeterSnapshot> snapshot = station.Snapshot("meter");
        return snapshot && snapshot->reading;
    }

    MeterProcess meter;
    MeterLink link;
    Station station;
    StationHttp http;
    bool started = false;
    std::string error;  // why the server did not start
};
