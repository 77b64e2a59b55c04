#include "station/station_http.h"

#include <chrono>
#include <cstring>

#include "link/local_time.h"
#include "station/http_server.h"
#include "station/station_events.h"
#include "station/station_json.h"
#include "station/station_metrics.h"
#include "station/station_png.h"
#include "station/web_assets.h"

namespace {

constexpr const char* kJsonType = "application/json";
constexpr const char* kEventStreamType = "text/event-stream";
constexpr size_t kMaxBodyBytes = 4096;  // a key press has no body; anything larger is refused
// Every event stream holds a connection's thread for its life; the rest answer the others.
constexpr int kServerThreads = kMaxEventClients + 8;
// How long a connection may sit without progress; it also bounds how long Stop waits for one.
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

void Fail(HttpResponse& res, int status, std::string_view message) {
    res.status = status;
    res.SetContent(ErrorJson(message), kJsonType);
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
        case 431:
            return "request headers too large";
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

struct StationHttp::Impl {
    Impl(Station& s, HttpOptions o)
        : station(s),
          options(std::move(o)),
          server([this](const HttpRequest& req, HttpResponse& res) { Dispatch(req, res); },
                 [](int status, HttpResponse& res) { Fail(res, status, StatusMessage(status)); },
                 {kMaxBodyBytes, kServerThreads, kStallMs}) {}

    Station& station;
    const HttpOptions options;
    StationEvents events;
    HttpServer server;
    bool serving = false;
    int subscription = -1;

    void Dispatch(const HttpRequest& req, HttpResponse& res);
    bool DispatchApi(const HttpRequest& req, HttpResponse& res);
    bool DispatchMeter(const HttpRequest& req, HttpResponse& res,
                       const std::vector<std::string>& api);
    bool WrongMethod(const HttpRequest& req, HttpResponse& res, const char* allowed);

    void ServeAsset(const WebAsset& asset, HttpResponse& res);
    void ServeMeters(HttpResponse& res);
    void ServeReading(const MeterSnapshot& meter, HttpResponse& res);
    void ServeRows(const MeterSnapshot& meter, const HttpRequest& req, HttpResponse& res);
    void ServeSpectrum(const MeterSnapshot& meter, HttpResponse& res);
    void ServeScreen(const MeterSnapshot& meter, HttpResponse& res);
    void ServeMetrics(HttpResponse& res);
    void ServeHealth(HttpResponse& res);
    void ServeEvents(HttpResponse& res);
    void PressKey(const std::string& meter, const std::vector<std::string>& api,
                  const HttpRequest& req, HttpResponse& res);
    bool MayPressKeys(const HttpRequest& req, HttpResponse& res) const;
    bool StreamEvents(uint64_t* next, int* idleChecks, HttpStreamSink& sink);

    std::vector<MeterSnapshot> Snapshots() const;
};

std::vector<MeterSnapshot> StationHttp::Impl::Snapshots() const {
    std::vector<MeterSnapshot> meters;
    for (const std::string& name : station.Names()) {
        if (auto snapshot = station.Snapshot(name)) meters.push_back(std::move(*snapshot));
    }
    return meters;
}

bool StationHttp::Impl::WrongMethod(const HttpRequest& req, HttpResponse& res,
                                    const char* allowed) {
    const bool get = std::strcmp(allowed, "GET") == 0;
    if (req.method == allowed || (get && req.method == "HEAD")) return false;
    res.SetHeader("Allow", get ? "GET, HEAD" : allowed);
    Fail(res, 405, "method not allowed");
    return true;
}

void StationHttp::Impl::Dispatch(const HttpRequest& req, HttpResponse& res) {
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

bool StationHttp::Impl::DispatchApi(const HttpRequest& req, HttpResponse& res) {
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

bool StationHttp::Impl::DispatchMeter(const HttpRequest& req, HttpResponse& res,
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

void StationHttp::Impl::ServeAsset(const WebAsset& asset, HttpResponse& res) {
    res.SetContent(std::string(asset.body), std::string(asset.contentType));
    res.SetHeader("Cache-Control", "no-cache");
}

void StationHttp::Impl::ServeMeters(HttpResponse& res) {
    res.SetContent(MeterListJson(Snapshots()), kJsonType);
}

void StationHttp::Impl::ServeReading(const MeterSnapshot& meter, HttpResponse& res) {
    if (!meter.reading) return Fail(res, 503, "the meter has no fresh reading");
    res.SetContent(ReadingJson(meter.name, *meter.reading), kJsonType);
}

void StationHttp::Impl::ServeRows(const MeterSnapshot& meter, const HttpRequest& req,
                                  HttpResponse& res) {
    int64_t since = 0;
    if (req.HasParam("since") && !ParseSince(req.Param("since"), &since))
        return Fail(res, 400, "since must be an ISO 8601 time with its offset");
    res.SetContent(RowsJson(meter.name, station.Rows(meter.name, since)), kJsonType);
}

void StationHttp::Impl::ServeSpectrum(const MeterSnapshot& meter, HttpResponse& res) {
    if (!meter.spectrum) return Fail(res, 503, "the meter has no fresh sweep");
    res.SetContent(SpectrumJson(meter.name, *meter.spectrum), kJsonType);
}

void StationHttp::Impl::ServeScreen(const MeterSnapshot& meter, HttpResponse& res) {
    if (!meter.screen || !meter.up) return Fail(res, 503, "the meter's screen is not in view");
    res.SetContent(ScreenPng(*meter.screen), kPngContentType);
    res.SetHeader("Cache-Control", "no-store");
}

void StationHttp::Impl::ServeMetrics(HttpResponse& res) {
    res.SetContent(StationMetricsText(Snapshots()), kMetricsContentType);
}

void StationHttp::Impl::ServeHealth(HttpResponse& res) {
    std::string down;
    for (const MeterSnapshot& meter : Snapshots()) {
        if (!meter.up) down += (down.empty() ? "" : ",") + StationJsonString(meter.name);
    }
    if (down.empty()) return res.SetContent("{\"ok\":true,\"down\":[]}", kJsonType);
    res.status = 503;
    res.SetContent("{\"error\":\"meters down\",\"down\":[" + down + "]}", kJsonType);
}

bool StationHttp::Impl::MayPressKeys(const HttpRequest& req, HttpResponse& res) const {
    if (!options.token) {
        if (IsLoopbackAddress(req.remoteAddress)) return true;
        Fail(res, 403, "keys may be pressed from this computer only");
        return false;
    }
    const std::string authorization = req.Header("Authorization");
    const size_t schemeLength = std::strlen(kBearer);
    if (!EqualIgnoringCase(std::string_view(authorization).substr(0, schemeLength), kBearer)) {
        res.SetHeader("WWW-Authenticate", "Bearer");
        Fail(res, 401, "pressing keys needs the station's token");
        return false;
    }
    if (SameToken(std::string_view(authorization).substr(schemeLength), *options.token))
        return true;
    Fail(res, 403, "the token is not the station's");
    return false;
}

void StationHttp::Impl::PressKey(const std::string& meter, const std::vector<std::string>& api,
                                 const HttpRequest& req, HttpResponse& res) {
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

void StationHttp::Impl::ServeEvents(HttpResponse& res) {
    uint64_t next = 0;
    if (!events.Join(&next)) return Fail(res, 503, "too many event streams");
    res.SetHeader("Cache-Control", "no-store");
    res.contentType = kEventStreamType;
    res.stream = std::make_shared<HttpStream>();
    res.stream->next = [this, next, idleChecks = 0](HttpStreamSink& sink) mutable {
        return StreamEvents(&next, &idleChecks, sink);
    };
    res.stream->done = [this] { events.Leave(); };
}

// One turn of a stream: the events that came, a comment now and then so a dead peer is seen,
// or false to end it (the hub closed, the client fell behind or went away).
bool StationHttp::Impl::StreamEvents(uint64_t* next, int* idleChecks, HttpStreamSink& sink) {
    StationEvent event;
    switch (events.Next(next, &event, kEventIdleCheck)) {
        case StationEvents::Wait::Closed:
        case StationEvents::Wait::Behind:
            return false;
        case StationEvents::Wait::Idle:
            if (++*idleChecks < kEventKeepAliveChecks) return sink.Writable();
            *idleChecks = 0;
            return sink.Write(": keep-alive\n\n", 14);
        case StationEvents::Wait::Event:
            break;
    }
    *idleChecks = 0;
    const std::string text = std::string("event: ") + EventName(event.kind) +
                             "\ndata: " + EventJson(event.meter) + "\n\n";
    return sink.Write(text.data(), text.size());
}

StationHttp::StationHttp(Station& station, HttpOptions options)
    : impl_(std::make_unique<Impl>(station, std::move(options))) {}

StationHttp::~StationHttp() {
    Stop();
}

bool StationHttp::Start(std::string* error) {
    Impl& impl = *impl_;
    const HttpOptions& o = impl.options;
    std::string reason;
    if (!impl.server.Listen(o.host, o.port, &reason)) {
        *error = "cannot listen on " + o.host + ":" + std::to_string(o.port) + ": " + reason;
        return false;
    }
    impl.subscription =
        impl.station.Subscribe([&impl](const StationEvent& event) { impl.events.Publish(event); });
    impl.serving = true;
    return true;
}

void StationHttp::Stop() {
    Impl& impl = *impl_;
    if (!impl.serving) return;
    impl.serving = false;
    impl.events.Close();
    impl.server.Stop();
    impl.station.Unsubscribe(impl.subscription);
    impl.subscription = -1;
}

int StationHttp::Port() const {
    return impl_->server.Port();
}
