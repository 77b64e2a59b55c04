// Placeholder until the web server is built: it refuses to start.
#include "station/station_http.h"

struct StationHttp::Impl {};

StationHttp::StationHttp(Station&, HttpOptions) : impl_(std::make_unique<Impl>()) {}
StationHttp::~StationHttp() = default;

bool StationHttp::Start(std::string* error) {
    *error = "the web server is not built";
    return false;
}

void StationHttp::Stop() {}

int StationHttp::Port() const { return 0; }
