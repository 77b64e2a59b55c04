#pragma once
// The station's HTTP transport: requests and responses as plain values, so the routing and the
// answers (station_http.cpp) are written once, and a server that carries them, each system's
// own (http_server_httplib.cpp on Linux, http_server_beast.cpp on Windows).

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;
// ASCII letters alike in either case, as HTTP compares header names and schemes.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

struct HttpRequest {
    std::string method;                             // as sent: "GET", "POST", ...
    std::string path;                               // percent-decoded, without the query
    std::multimap<std::string, std::string> query;  // decoded names and values, in order
    HttpHeaders headers;
    std::string body;
    std::string remoteAddress;  // the peer's numeric address, without the port

    bool HasParam(const std::string& name) const { return query.count(name) > 0; }
    std::string Param(const std::string& name) const;   // the first; "" when absent
    std::string Header(const std::string& name) const;  // the first; "" when absent
};

// Where a stream writes while it lasts.
class HttpStreamSink {
  public:
    virtual ~HttpStreamSink() = default;
    // False once the peer is gone or too slow (the stream should end).
    virtual bool Write(const char* data, size_t size) = 0;
    // False once the peer is known to be gone.
    virtual bool Writable() = 0;
};

// A body sent in chunks as it comes (the event stream): `next` is called again and again on the
// connection's thread until it returns false; `done` once the stream is over, whatever ended it.
struct HttpStream {
    std::function<bool(HttpStreamSink&)> next;
    std::function<void()> done;
};

struct HttpResponse {
    int status = 200;
    std::string contentType;  // empty: no body and no Content-Type (a 204)
    HttpHeaders headers;
    std::string body;
    std::shared_ptr<HttpStream> stream;  // set: the body is this stream instead

    void SetContent(std::string text, std::string type) {
        body = std::move(text);
        contentType = std::move(type);
    }
    void SetHeader(const std::string& name, const std::string& value) {
        headers.emplace_back(name, value);
    }
};

using HttpHandler = std::function<void(const HttpRequest&, HttpResponse&)>;
// What to answer with `status` when the server refuses a request itself (malformed, too large,
// a method it does not route, a handler that threw).
using HttpRefusal = std::function<void(int status, HttpResponse&)>;

struct HttpServerLimits {
    size_t maxBodyBytes = 4096;
    int connections = 72;  // served at once, each on a thread of its own; the rest wait
    // How long a connection may sit without progress (idle between requests, a request
    // arriving, a response not being read); it also bounds how long Stop waits for one.
    int stallMs = 1000;
};

class HttpServer {
  public:
    HttpServer(HttpHandler handler, HttpRefusal refusal, HttpServerLimits limits);
    ~HttpServer();  // stops and joins
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds host:port (0: any free port) and serves on threads of its own; false with the
    // reason when the address cannot be had.
    bool Listen(const std::string& host, int port, std::string* error);
    // Closes every connection and joins the server's threads. Streams end at their next turn.
    void Stop();
    int Port() const;  // the port bound, once listening

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
