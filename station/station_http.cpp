#include "station/station_http.h"

#include <arpa/inet.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "link/local_time.h"
#include "station/station_events.h"
#include "station/station_json.h"
#include "station/station_metrics.h"
#include "station/station_png.h"
#include "station/web_assets.h"

namespace {

constexpr const char* kJsonType = "application/json";
constexpr const char* kEventStreamType = "text/event-stream";
constexpr size_t kMaxBodyBytes = 4096;  // a key press has no body; anything larger is refused
// Every event stream holds a server thread for its life; the rest answer the other requests.
constexpr int kServerThreads = kMaxEventClients + 8;
// How long a connection may sit without progress (idle between requests, a request arriving,
// a response not being read); it also bounds how long Stop waits for a connection to end.
constexpr int kStallMs = 1000;
constexpr std::chrono::milliseconds kEventIdleCheck{500};
constexpr int kEventKeepAliveChecks = 30;  // a comment line after 15 s without an event
constexpr const char* kApiPrefix = "/api/v1/";
constexpr const char* kBearer = "Bearer ";

const char* EventName(StationEventKind kind) {
    switch (kind) {
        case StationEventKind::Reading:
            return "reading";
        case StationEventKind::Spectrum:
            return "spectrum";
        case StationEventKind::Up:
            return "up";
        case StationEventKind::Down:
            return "down";
    }
    return "reading";
}

std::vector<std::string> Segments(const std::string& path) {
    std::vector<std::string> parts;
    size_t at = 1;
    while (at <= path.size()) {
        const size_t slash = path.find('/', at);
        const size_t end = slash == std::string::npos ? path.size() : slash;
        parts.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    return parts;
}

void Fail(httplib::Response& res, int status, std::string_view message) {
    res.status = status;
    res.set_content(ErrorJson(message), kJsonType);
}

std::string StatusMessage(int status) {
    switch (status) {
        case 400:
            return "bad request";
        case 404:
            return "not found";
        case 405:
            return "method not allowed";
        case 413:
            return "request body too large";
        case 414:
            return "request target too long";
        default:
            return status >= 500 ? "server error" : "request refused";
    }
}

// Compares every byte of the expected token whatever the offered one holds, so the time taken
// tells nothing about how much of it was right.
bool SameToken(std::string_view offered, std::string_view expected) {
    unsigned difference = offered.size() != expected.size();
    for (size_t i = 0; i < expected.size(); ++i) {
        const char o = i < offered.size() ? offered[i] : '\0';
        difference |= static_cast<unsigned char>(o ^ expected[i]);
    }
    return difference == 0;
}

bool IsApi(const std::vector<std::string>& api, size_t size, const char* last) {
    return api.size() == size && api[0] == "meters" && api.back() == last;
}

// A `since` as browsers write it may carry a fraction of a second ("...T06:00:00.610Z"). Rows
// are whole seconds, so a fraction moves the bound to the next one: no row before it is sent.
bool ParseSince(std::string text, int64_t* since) {
    const size_t fraction = 19;  // after YYYY-MM-DDTHH:MM:SS
    if (text.size() <= fraction) return ParseIsoTime(text, since);
    size_t end = fraction;
    if (text.size() > fraction && text[fraction] == '.') {
        end = text.find_first_not_of("0123456789", fraction + 1);
        if (end == std::string::npos || end == fraction + 1) return false;
    }
    const bool partSecond = text.find_first_not_of('0', fraction + 1) < end;
    text.erase(fraction, end - fraction);
    if (!ParseIsoTime(text, since)) return false;
    *since += partSecond ? 1 : 0;
    return true;
}

}  // namespace

bool IsLoopbackAddress(const std::string& address) {
    in_addr v4{};
    if (inet_pton(AF_INET, address.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, address.c_str(), &v6) != 1) return false;
    if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
    return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}

struct StationHttp::Impl {
    Impl(Station& s, HttpOptions o) : station(s), options(std::move(o)) {}

    Station& station;
    const HttpOptions options;
    httplib::Server server;
    StationEvents events;
    std::thread listener;
    int port = 0;
    int subscription = -1;

    void Configure();
    void Dispatch(const httplib::Request& req, httplib::Response& res);
    bool DispatchApi(const httplib::Request& req, httplib::Response& res);
    bool DispatchMeter(const httplib::Request& req, httplib::Response& res,
                       const std::vector<std::string>& api);
    bool WrongMethod(const httplib::Request& req, httplib::Response& res, const char* allowed);

    void ServeAsset(const WebAsset& asset, httplib::Response& res);
    void ServeMeters(httplib::Response& res);
    void ServeReading(const MeterSnapshot& meter, httplib::Response& res);
    void ServeRows(const MeterSnapshot& meter, const httplib::Request& req, httplib::Response& res);
    void ServeSpectrum(const MeterSnapshot& meter, httplib::Response& res);
    void ServeScreen(const MeterSnapshot& meter, httplib::Response& res);
    void ServeMetrics(httplib::Response& res);
    void ServeHealth(httplib::Response& res);
    void ServeEvents(httplib::Response& res);
    void PressKey(const std::string& meter, const std::vector<std::string>& api,
                  const httplib::Request& req, httplib::Response& res);
    bool MayPressKeys(const httplib::Request& req, httplib::Response& res) const;
    bool StreamEvents(uint64_t* next, int* idleChecks, httplib::DataSink& sink);

    std::vector<MeterSnapshot> Snapshots() const;
};

void StationHttp::Impl::Configure() {
    server.new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
    server.set_payload_max_length(kMaxBodyBytes);
    server.set_keep_alive_timeout(kStallMs / 1000);
    server.set_read_timeout(std::chrono::milliseconds(kStallMs));
    server.set_write_timeout(std::chrono::milliseconds(kStallMs));
    server.set_tcp_nodelay(true);
    const auto dispatch = [this](const httplib::Request& req, httplib::Response& res) {
        Dispatch(req, res);
    };
    // Every method reaches the one router, which answers 404 or 405 itself.
    const std::string any = ".*";
    server.Get(any, dispatch).Post(any, dispatch).Put(any, dispatch);
    server.Patch(any, dispatch).Delete(any, dispatch).Options(any, dispatch);
    // The methods the library parses but routes nowhere; they carry no body to read.
    server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        if (req.method != "CONNECT" && req.method != "TRACE" && req.method != "PRI")
            return httplib::Server::HandlerResponse::Unhandled;
        Fail(res, 405, "method not allowed");
        return httplib::Server::HandlerResponse::Handled;
    });
    // What the library refuses itself (a malformed request, a body too large) gets a JSON
    // error too; a handler's own error keeps its message.
    const httplib::Server::HandlerWithResponse jsonError = [](const httplib::Request&,
                                                              httplib::Response& res) {
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        res.set_content(ErrorJson(StatusMessage(res.status)), kJsonType);
        return httplib::Server::HandlerResponse::Handled;
    };
    server.set_error_handler(jsonError);
    server.set_exception_handler([](const httplib::Request&, httplib::Response& res,
                                    std::exception_ptr) { Fail(res, 500, "server error"); });
}

std::vector<MeterSnapshot> StationHttp::Impl::Snapshots() const {
    std::vector<MeterSnapshot> meters;
    for (const std::string& name : station.Names()) {
        if (auto snapshot = station.Snapshot(name)) meters.push_back(std::move(*snapshot));
    }
    return meters;
}

bool StationHttp::Impl::WrongMethod(const httplib::Request& req, httplib::Response& res,
                                    const char* allowed) {
    const bool get = std::strcmp(allowed, "GET") == 0;
    if (req.method == allowed || (get && req.method == "HEAD")) return false;
    res.set_header("Allow", get ? "GET, HEAD" : allowed);
    Fail(res, 405, "method not allowed");
    return true;
}

void StationHttp::Impl::Dispatch(const httplib::Request& req, httplib::Response& res) {
    const std::string& path = req.path;
    if (path.rfind(kApiPrefix, 0) == 0) {
        if (!DispatchApi(req, res)) Fail(res, 404, "not found");
    } else if (path == "/metrics") {
        if (!WrongMethod(req, res, "GET")) ServeMetrics(res);
    } else if (path == "/healthz") {
        if (!WrongMethod(req, res, "GET")) ServeHealth(res);
    } else if (const WebAsset* asset = FindWebAsset(path)) {
        if (!WrongMethod(req, res, "GET")) ServeAsset(*asset, res);
    } else {
        Fail(res, 404, "not found");
    }
}

bool StationHttp::Impl::DispatchApi(const httplib::Request& req, httplib::Response& res) {
    const std::vector<std::string> api = Segments(req.path.substr(std::strlen(kApiPrefix) - 1));
    if (api.size() == 1 && api[0] == "events") {
        if (!WrongMethod(req, res, "GET")) ServeEvents(res);
        return true;
    }
    if (api.size() == 1 && api[0] == "meters") {
        if (!WrongMethod(req, res, "GET")) ServeMeters(res);
        return true;
    }
    return DispatchMeter(req, res, api);
}

bool StationHttp::Impl::DispatchMeter(const httplib::Request& req, httplib::Response& res,
                                      const std::vector<std::string>& api) {
    const bool keys = (api.size() == 4 || (api.size() == 5 && api[4] == "hold")) &&
                      api[0] == "meters" && api[2] == "keys";
    const bool view = IsApi(api, 3, "reading") || IsApi(api, 3, "readings") ||
                      IsApi(api, 3, "spectrum") || IsApi(api, 3, "screen.png");
    if (!keys && !view) return false;
    if (WrongMethod(req, res, keys ? "POST" : "GET")) return true;
    if (keys) {
        PressKey(api[1], api, req, res);
        return true;
    }
    const std::optional<MeterSnapshot> meter = station.Snapshot(api[1]);
    if (!meter) {
        Fail(res, 404, "no such meter");
    } else if (api[2] == "reading") {
        ServeReading(*meter, res);
    } else if (api[2] == "readings") {
        ServeRows(*meter, req, res);
    } else if (api[2] == "spectrum") {
        ServeSpectrum(*meter, res);
    } else {
        ServeScreen(*meter, res);
    }
    return true;
}

void StationHttp::Impl::ServeAsset(const WebAsset& asset, httplib::Response& res) {
    res.set_content(asset.body.data(), asset.body.size(), std::string(asset.contentType));
    res.set_header("Cache-Control", "no-cache");
}

void StationHttp::Impl::ServeMeters(httplib::Response& res) {
    res.set_content(MeterListJson(Snapshots()), kJsonType);
}

void StationHttp::Impl::ServeReading(const MeterSnapshot& meter, httplib::Response& res) {
    if (!meter.reading) return Fail(res, 503, "the meter has no fresh reading");
    res.set_content(ReadingJson(meter.name, *meter.reading), kJsonType);
}

void StationHttp::Impl::ServeRows(const MeterSnapshot& meter, const httplib::Request& req,
                                  httplib::Response& res) {
    int64_t since = 0;
    if (req.has_param("since") && !ParseSince(req.get_param_value("since"), &since))
        return Fail(res, 400, "since must be an ISO 8601 time with its offset");
    res.set_content(RowsJson(meter.name, station.Rows(meter.name, since)), kJsonType);
}

void StationHttp::Impl::ServeSpectrum(const MeterSnapshot& meter, httplib::Response& res) {
    if (!meter.spectrum) return Fail(res, 503, "the meter has no fresh sweep");
    res.set_content(SpectrumJson(meter.name, *meter.spectrum), kJsonType);
}

void StationHttp::Impl::ServeScreen(const MeterSnapshot& meter, httplib::Response& res) {
    if (!meter.screen || !meter.up) return Fail(res, 503, "the meter's screen is not in view");
    res.set_content(ScreenPng(*meter.screen), kPngContentType);
    res.set_header("Cache-Control", "no-store");
}

void StationHttp::Impl::ServeMetrics(httplib::Response& res) {
    res.set_content(StationMetricsText(Snapshots()), kMetricsContentType);
}

void StationHttp::Impl::ServeHealth(httplib::Response& res) {
    std::string down;
    for (const MeterSnapshot& meter : Snapshots()) {
        if (!meter.up) down += (down.empty() ? "" : ",") + StationJsonString(meter.name);
    }
    if (down.empty()) return res.set_content("{\"ok\":true,\"down\":[]}", kJsonType);
    res.status = 503;
    res.set_content("{\"error\":\"meters down\",\"down\":[" + down + "]}", kJsonType);
}

bool StationHttp::Impl::MayPressKeys(const httplib::Request& req, httplib::Response& res) const {
    if (!options.token) {
        if (IsLoopbackAddress(req.remote_addr)) return true;
        Fail(res, 403, "keys may be pressed from this computer only");
        return false;
    }
    const std::string authorization = req.get_header_value("Authorization");
    const size_t schemeLength = std::strlen(kBearer);
    if (authorization.size() < schemeLength ||
        strncasecmp(authorization.c_str(), kBearer, schemeLength) != 0) {
        res.set_header("WWW-Authenticate", "Bearer");
        Fail(res, 401, "pressing keys needs the station's token");
        return false;
    }
    if (SameToken(std::string_view(authorization).substr(schemeLength), *options.token))
        return true;
    Fail(res, 403, "the token is not the station's");
    return false;
}

void StationHttp::Impl::PressKey(const std::string& meter, const std::vector<std::string>& api,
                                 const httplib::Request& req, httplib::Response& res) {
    if (!MayPressKeys(req, res)) return;
    StationKey key;
    if (!ParseStationKey(api[3], api.size() == 5, &key)) return Fail(res, 404, "no such key");
    switch (station.PressKey(meter, key)) {
        case Station::KeyResult::Sent:
            res.status = 204;
            return;
        case Station::KeyResult::UnknownMeter:
            return Fail(res, 404, "no such meter");
        case Station::KeyResult::MeterDown:
            return Fail(res, 503, "the meter is down");
        case Station::KeyResult::Failed:
            return Fail(res, 502, "the meter did not take the key");
    }
}

void StationHttp::Impl::ServeEvents(httplib::Response& res) {
    uint64_t next = 0;
    if (!events.Join(&next)) return Fail(res, 503, "too many event streams");
    res.set_header("Cache-Control", "no-store");
    auto idleChecks = std::make_shared<int>(0);
    res.set_chunked_content_provider(
        kEventStreamType,
        [this, next, idleChecks](size_t, httplib::DataSink& sink) mutable {
            return StreamEvents(&next, idleChecks.get(), sink);
        },
        [this](bool) { events.Leave(); });
}

// One turn of a stream: the events that came, a comment now and then so a dead peer is seen,
// or false to end it (the hub closed, the client fell behind or went away).
bool StationHttp::Impl::StreamEvents(uint64_t* next, int* idleChecks, httplib::DataSink& sink) {
    StationEvent event;
    switch (events.Next(next, &event, kEventIdleCheck)) {
        case StationEvents::Wait::Closed:
        case StationEvents::Wait::Behind:
            return false;
        case StationEvents::Wait::Idle:
            if (++*idleChecks < kEventKeepAliveChecks) return sink.is_writable();
            *idleChecks = 0;
            return sink.write(": keep-alive\n\n", 14);
        case StationEvents::Wait::Event:
            break;
    }
    *idleChecks = 0;
    const std::string text = std::string("event: ") + EventName(event.kind) +
                             "\ndata: " + EventJson(event.meter) + "\n\n";
    return sink.write(text.data(), text.size());
}

StationHttp::StationHttp(Station& station, HttpOptions options)
    : impl_(std::make_unique<Impl>(station, std::move(options))) {
    impl_->Configure();
}

StationHttp::~StationHttp() {
    Stop();
}

bool StationHttp::Start(std::string* error) {
    Impl& impl = *impl_;
    const HttpOptions& o = impl.options;
    if (o.port == 0) {
        impl.port = impl.server.bind_to_any_port(o.host);
    } else {
        impl.port = impl.server.bind_to_port(o.host, o.port) ? o.port : -1;
    }
    if (impl.port <= 0) {
        *error = "cannot listen on " + o.host + ":" + std::to_string(o.port) + ": " +
                 std::strerror(errno);
        impl.port = 0;
        return false;
    }
    impl.subscription =
        impl.station.Subscribe([&impl](const StationEvent& event) { impl.events.Publish(event); });
    impl.listener = std::thread([&impl] { impl.server.listen_after_bind(); });
    // stop() does nothing until the server runs, so Start returns only once it does.
    for (int waited = 0; !impl.server.is_running() && waited < 1000; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void StationHttp::Stop() {
    Impl& impl = *impl_;
    if (!impl.listener.joinable()) return;
    impl.events.Close();
    impl.server.stop();
    impl.listener.join();
    impl.station.Unsubscribe(impl.subscription);
    impl.subscription = -1;
}

int StationHttp::Port() const {
    return impl_->port;
}
