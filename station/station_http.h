#pragma once
// The station's web server: the page, the JSON API, the event stream and the metrics, on one
// address. Serves on threads of its own; reads the station only through its public calls.

#include <memory>
#include <optional>
#include <string>

#include "station/station.h"

struct HttpOptions {
    std::string host = "127.0.0.1";
    int port = 8080;                   // 0: any free port (see StationHttp::Port)
    std::optional<std::string> token;  // with one, every key press needs "Bearer TOKEN"
};

// 127.0.0.0/8, ::1, or an IPv4 loopback address mapped into IPv6.
bool IsLoopbackAddress(const std::string& address);

class StationHttp {
  public:
    StationHttp(Station& station, HttpOptions options);
    ~StationHttp();  // stops and joins
    StationHttp(const StationHttp&) = delete;
    StationHttp& operator=(const StationHttp&) = delete;

    // Binds and starts serving; false with the reason when the address cannot be had.
    bool Start(std::string* error);
    // Closes every connection (the event streams included) and joins the server's threads.
    void Stop();
    // The port bound, once started.
    int Port() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
