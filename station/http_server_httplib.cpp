// The station's HTTP server on Linux: cpp-httplib, its thread pool and its timeouts; every
// request reaches the one handler, which answers 404 or 405 itself.

#include <arpa/inet.h>
#include <httplib.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

#include "station/http_server.h"
#include "station/station_http.h"

namespace {

HttpRequest FromLibrary(const httplib::Request& req) {
    HttpRequest request{req.method, req.path, {}, {}, req.body, req.remote_addr};
    request.query.insert(req.params.begin(), req.params.end());
    request.headers.assign(req.headers.begin(), req.headers.end());
    return request;
}

class LibrarySink : public HttpStreamSink {
  public:
    explicit LibrarySink(httplib::DataSink& sink) : sink_(sink) {}
    bool Write(const char* data, size_t size) override { return sink_.write(data, size); }
    bool Writable() override { return sink_.is_writable(); }

  private:
    httplib::DataSink& sink_;
};

void ToLibrary(const HttpResponse& response, httplib::Response& res) {
    res.status = response.status;
    for (const auto& [name, value] : response.headers)
        res.set_header(name, value);
    if (const std::shared_ptr<HttpStream> stream = response.stream) {
        res.set_chunked_content_provider(
            response.contentType,
            [stream](size_t, httplib::DataSink& sink) {
                LibrarySink to(sink);
                return stream->next(to);
            },
            [stream](bool) { stream->done(); });
    } else if (!response.contentType.empty() || !response.body.empty()) {
        res.set_content(response.body, response.contentType);
    }
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

struct HttpServer::Impl {
    HttpHandler handler;
    HttpRefusal refusal;
    httplib::Server server;
    std::thread listener;
    int port = 0;

    void Configure(const HttpServerLimits& limits);
    void Refuse(int status, httplib::Response& res) const {
        HttpResponse response;
        refusal(status, response);
        ToLibrary(response, res);
    }
};

void HttpServer::Impl::Configure(const HttpServerLimits& limits) {
    const int threads = limits.connections;
    server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server.set_payload_max_length(limits.maxBodyBytes);
    server.set_keep_alive_timeout(limits.stallMs / 1000);
    server.set_read_timeout(std::chrono::milliseconds(limits.stallMs));
    server.set_write_timeout(std::chrono::milliseconds(limits.stallMs));
    server.set_tcp_nodelay(true);
    const auto dispatch = [this](const httplib::Request& req, httplib::Response& res) {
        HttpResponse response;
        handler(FromLibrary(req), response);
        ToLibrary(response, res);
    };
    const std::string any = ".*";
    server.Get(any, dispatch).Post(any, dispatch).Put(any, dispatch);
    server.Patch(any, dispatch).Delete(any, dispatch).Options(any, dispatch);
    // The methods the library parses but routes nowhere; they carry no body to read.
    server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (req.method != "CONNECT" && req.method != "TRACE" && req.method != "PRI")
            return httplib::Server::HandlerResponse::Unhandled;
        Refuse(405, res);
        return httplib::Server::HandlerResponse::Handled;
    });
    // What the library refuses itself (a malformed request, a body too large); a handler's
    // own error keeps its body.
    const httplib::Server::HandlerWithResponse refuse = [this](const httplib::Request&,
                                                               httplib::Response& res) {
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        Refuse(res.status, res);
        return httplib::Server::HandlerResponse::Handled;
    };
    server.set_error_handler(refuse);
    server.set_exception_handler([this](const httplib::Request&, httplib::Response& res,
                                        std::exception_ptr) { Refuse(500, res); });
}

HttpServer::HttpServer(HttpHandler handler, HttpRefusal refusal, HttpServerLimits limits)
    : impl_(std::make_unique<Impl>()) {
    impl_->handler = std::move(handler);
    impl_->refusal = std::move(refusal);
    impl_->Configure(limits);
}

HttpServer::~HttpServer() {
    Stop();
}

bool HttpServer::Listen(const std::string& host, int port, std::string* error) {
    Impl& impl = *impl_;
    if (port == 0) {
        impl.port = impl.server.bind_to_any_port(host);
    } else {
        impl.port = impl.server.bind_to_port(host, port) ? port : -1;
    }
    if (impl.port <= 0) {
        *error = std::strerror(errno);
        impl.port = 0;
        return false;
    }
    // A browser that goes away is a failed write, not the end of the program.
    std::signal(SIGPIPE, SIG_IGN);
    impl.listener = std::thread([&impl] { impl.server.listen_after_bind(); });
    // stop() does nothing until the server runs, so Listen returns only once it does.
    for (int waited = 0; !impl.server.is_running() && waited < 1000; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void HttpServer::Stop() {
    Impl& impl = *impl_;
    if (!impl.listener.joinable()) return;
    impl.server.stop();
    impl.listener.join();
}

int HttpServer::Port() const {
    return impl_->port;
}
