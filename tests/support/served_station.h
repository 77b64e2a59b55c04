#pragma once
// Virtual meters on pseudo-terminals, served by a station and its web server on a free
// loopback port: what the web tests, the browser test and the benchmarks all start from. The
// first meter is "meter"; with more, the others are "meter2", "meter3" and so on.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "station/station_http.h"
#include "tests/support/meter_process.h"

struct ServedStation {
    // meterArgs go to every ferrolog-meter (e.g. {"--fast", "--model", "ZTX440"}).
    explicit ServedStation(std::vector<std::string> meterArgs = {"--fast"},
                           StationOptions options = {},
                           std::optional<std::string> token = std::nullopt, int meters = 1)
        : meter(meterArgs), station(options), http(station, {"127.0.0.1", 0, token}) {
        station.AddMeter(MeterName(0), meter.DevicePath(), link);
        for (int i = 1; i < meters; ++i) {
            others.push_back(std::make_unique<OtherMeter>(meterArgs));
            station.AddMeter(MeterName(i), others.back()->meter.DevicePath(), others.back()->link);
        }
        station.Start();
        started = http.Start(&error);
    }
    ~ServedStation() {
        http.Stop();
        station.Stop();
    }
    static std::string MeterName(int index) {
        return index == 0 ? "meter" : "meter" + std::to_string(index + 1);
    }
    int Port() const { return http.Port(); }
    bool HasReading(const std::string& name = "meter") const {
        const std::optional<MeterSnapshot> snapshot = station.Snapshot(name);
        return snapshot && snapshot->reading;
    }

    struct OtherMeter {
        explicit OtherMeter(std::vector<std::string> args) : meter(std::move(args)) {}
        MeterProcess meter;
        MeterLink link;
    };

    MeterProcess meter;
    MeterLink link;
    std::vector<std::unique_ptr<OtherMeter>>
        others;  // declared before the station, which uses them
    Station station;
    StationHttp http;
    bool started = false;
    std::string error;  // why the server did not start
};
