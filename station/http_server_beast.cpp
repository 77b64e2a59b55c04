// The station's HTTP server on Windows: Boost.Beast over Boost.Asio (Winsock). A thread
// accepts; every connection has a thread and an I/O context of its own, and each read or
// write on it is run there to its end or its deadline, so a stalled peer ties up only itself.

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>

#include "station/http_server.h"
#include "station/station_http.h"

namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;
using StringRequest = http::request<http::string_body>;

constexpr size_t kHeaderLimit = 8192;      // the request line and every header together
constexpr size_t kDrainLimit = 64 * 1024;  // read after a refusal, so the peer sees the answer
constexpr std::chrono::milliseconds kAcceptRetry{100};  // after a failed accept (no handles)

// A request that arrived but does not hold together, as against a connection that failed.
bool IsHttpError(const beast::error_code& error) {
    return &error.category() == &make_error_code(http::error::end_of_stream).category();
}

int RefusalStatus(const beast::error_code& error) {
    if (error == http::error::body_limit) return 413;
    if (error == http::error::header_limit) return 431;
    return 400;
}

// The methods the station routes; every other one is refused before its body is read.
bool Routed(http::verb method) {
    switch (method) {
        case http::verb::get:
        case http::verb::head:
        case http::verb::post:
        case http::verb::put:
        case http::verb::patch:
        case http::verb::delete_:
        case http::verb::options:
            return true;
        default:
            return false;
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// %XX escapes decoded (a malformed one is kept as it is), '+' a space in a query.
std::string Decoded(std::string_view text, bool query) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const int high = i + 2 < text.size() && text[i] == '%' ? HexValue(text[i + 1]) : -1;
        const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
        if (low >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += query && text[i] == '+' ? ' ' : text[i];
        }
    }
    return out;
}

void SplitTarget(std::string_view target, HttpRequest* request) {
    const size_t mark = target.find('?');
    request->path = Decoded(target.substr(0, mark), false);
    if (mark == std::string_view::npos) return;
    std::string_view rest = target.substr(mark + 1);
    while (!rest.empty()) {
        const std::string_view pair = rest.substr(0, rest.find('&'));
        rest.remove_prefix(std::min(rest.size(), pair.size() + 1));
        if (pair.empty()) continue;
        const size_t equals = pair.find('=');
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1);
        request->query.emplace(Decoded(pair.substr(0, equals), true), Decoded(value, true));
    }
}

HttpRequest Neutral(const StringRequest& req, const std::string& remoteAddress) {
    HttpRequest request;
    request.method = std::string(req.method_string());
    SplitTarget(std::string_view(req.target().data(), req.target().size()), &request);
    for (const auto& field : req)
        request.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    request.body = req.body();
    request.remoteAddress = remoteAddress;
    return request;
}

template <class Fields>
void PutHeaders(const HttpResponse& response, http::header<false, Fields>& header) {
    header.result(static_cast<unsigned>(response.status));
    for (const auto& [name, value] : response.headers)
        header.insert(name, value);
    if (!response.contentType.empty()) header.set(http::field::content_type, response.contentType);
}

}  // namespace

bool IsLoopbackAddress(const std::string& address) {
    beast::error_code error;
    const net::ip::address parsed = net::ip::make_address(address, error);
    if (error) return false;
    if (parsed.is_v4()) return parsed.to_v4().is_loopback();
    const net::ip::address_v6 v6 = parsed.to_v6();
    return v6.is_loopback() ||
           (v6.is_v4_mapped() && net::ip::make_address_v4(net::ip::v4_mapped, v6).is_loopback());
}

struct HttpServer::Impl {
    struct Connection {
        net::io_context context;
        beast::tcp_stream stream{context};
        beast::flat_buffer buffer;
        std::thread thread;
        std::atomic<bool> finished{false};
    };
    class StreamSink;

    HttpHandler handler;
    HttpRefusal refusal;
    HttpServerLimits limits;
    net::io_context acceptContext;
    tcp::acceptor acceptor{acceptContext};
    net::steady_timer retry{acceptContext};
    std::thread listener;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::mutex mutex;  // guards connections and active
    std::condition_variable room;
    std::list<std::unique_ptr<Connection>> connections;
    int active = 0;

    bool Open(const std::string& host, int port, beast::error_code* error);
    void AcceptNext();
    void Accepted(std::unique_ptr<Connection> connection);
    void JoinFinished();

    template <class Operation>
    beast::error_code Run(Connection& c, Operation start, size_t* transferred = nullptr);
    void Serve(Connection& c);
    bool Answer(Connection& c, const StringRequest& req);
    void Refuse(Connection& c, int status, unsigned version);
    bool Send(Connection& c, const HttpResponse& response, const StringRequest& req);
    void SendStream(Connection& c, const HttpResponse& response, const StringRequest& req);
};

// Starts one read or write on the connection's stream and runs its context until it is done:
// the deadline ends it with beast::error::timeout, Stop's close with operation_aborted.
template <class Operation>
beast::error_code HttpServer::Impl::Run(Connection& c, Operation start, size_t* transferred) {
    beast::error_code result;
    bool done = false;
    c.stream.expires_after(std::chrono::milliseconds(limits.stallMs));
    start([&](beast::error_code error, size_t bytes) {
        result = error;
        done = true;
        if (transferred) *transferred = bytes;
    });
    c.context.restart();
    while (!done && c.context.run_one() > 0) {
    }
    return done ? result : beast::error_code(net::error::operation_aborted);
}

class HttpServer::Impl::StreamSink : public HttpStreamSink {
  public:
    StreamSink(Impl& server, Connection& c) : server_(server), c_(c) {}
    bool Write(const char* data, size_t size) override {
        const auto chunk = http::make_chunk(net::const_buffer(data, size));
        failed_ = failed_ ||
                  server_.Run(c_, [&](auto done) { net::async_write(c_.stream, chunk, done); });
        return !failed_;
    }
    bool Writable() override {
        return !failed_ && !server_.stopping && c_.stream.socket().is_open();
    }
    bool Failed() const { return failed_; }

  private:
    Impl& server_;
    Connection& c_;
    bool failed_ = false;
};

void HttpServer::Impl::Serve(Connection& c) {
    for (bool more = true; more && !stopping;) {
        http::request_parser<http::string_body> parser;
        parser.header_limit(kHeaderLimit);
        parser.body_limit(limits.maxBodyBytes);
        beast::error_code error =
            Run(c, [&](auto done) { http::async_read_header(c.stream, c.buffer, parser, done); });
        const bool routed = !error && Routed(parser.get().method());
        if (routed && !parser.is_done())
            error = Run(c, [&](auto done) { http::async_read(c.stream, c.buffer, parser, done); });
        // The peer gone, silent or closed: nothing to answer.
        if (error && (error == http::error::end_of_stream || !IsHttpError(error))) break;
        if (error || !routed) {
            Refuse(c, error ? RefusalStatus(error) : 405, parser.get().version());
            break;
        }
        more = Answer(c, parser.get());
    }
    beast::error_code ignored;
    c.stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
    c.stream.close();
}

bool HttpServer::Impl::Answer(Connection& c, const StringRequest& req) {
    beast::error_code error;
    const tcp::endpoint peer = c.stream.socket().remote_endpoint(error);
    HttpResponse response;
    try {
        handler(Neutral(req, error ? std::string() : peer.address().to_string()), response);
    } catch (...) {
        response = HttpResponse();
        refusal(500, response);
    }
    if (!response.stream) return Send(c, response, req);
    SendStream(c, response, req);
    return false;
}

// A refused request's body may still be on its way: the answer goes first, then what is left
// is read (within bounds) so that closing does not reset the connection before it is seen.
void HttpServer::Impl::Refuse(Connection& c, int status, unsigned version) {
    HttpResponse response;
    refusal(status, response);
    StringRequest closing(http::verb::get, "/", version ? version : 11);
    closing.keep_alive(false);
    Send(c, response, closing);
    beast::error_code ignored;
    c.stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
    char scrap[4096];
    size_t drained = c.buffer.size();
    while (drained < kDrainLimit && !stopping) {
        size_t got = 0;
        const auto read = [&](auto done) { c.stream.async_read_some(net::buffer(scrap), done); };
        if (Run(c, read, &got)) break;
        drained += got;
    }
}

bool HttpServer::Impl::Send(Connection& c, const HttpResponse& response, const StringRequest& req) {
    http::response<http::string_body> res;
    res.version(req.version());
    PutHeaders(response, res);
    res.keep_alive(req.keep_alive() && !stopping);
    res.body() = response.body;
    res.prepare_payload();
    if (req.method() == http::verb::head) res.body().clear();  // its length stays in the header
    const beast::error_code error =
        Run(c, [&](auto done) { http::async_write(c.stream, res, done); });
    return !error && res.keep_alive();
}

// The stream's chunks while it lasts; the connection ends with it.
void HttpServer::Impl::SendStream(Connection& c, const HttpResponse& response,
                                  const StringRequest& req) {
    http::response<http::empty_body> res;
    res.version(req.version());
    PutHeaders(response, res);
    res.keep_alive(false);
    res.chunked(true);
    http::response_serializer<http::empty_body> serializer(res);
    StreamSink sink(*this, c);
    const bool started =
        !Run(c, [&](auto done) { http::async_write_header(c.stream, serializer, done); });
    if (started && req.method() != http::verb::head) {
        while (!stopping && response.stream->next(sink)) {
        }
        if (!sink.Failed()) {
            const auto last = http::make_chunk_last();
            Run(c, [&](auto done) { net::async_write(c.stream, last, done); });
        }
    }
    response.stream->done();
}

bool HttpServer::Impl::Open(const std::string& host, int wanted, beast::error_code* error) {
    tcp::resolver resolver(acceptContext);
    const auto found =
        resolver.resolve(host, std::to_string(wanted),
                         tcp::resolver::passive | tcp::resolver::numeric_service, *error);
    if (*error) return false;
    // The first address the host names that can be listened on.
    for (const auto& entry : found) {
        beast::error_code closing;
        acceptor.close(closing);
        acceptor.open(entry.endpoint().protocol(), *error);
        if (!*error) acceptor.bind(entry.endpoint(), *error);
        if (!*error) acceptor.listen(net::socket_base::max_listen_connections, *error);
        if (*error) continue;
        port = acceptor.local_endpoint().port();
        return true;
    }
    if (!*error) *error = net::error::host_not_found;
    return false;
}

void HttpServer::Impl::AcceptNext() {
    auto connection = std::make_unique<Connection>();
    tcp::socket& socket = connection->stream.socket();
    acceptor.async_accept(socket,
                          [this, c = std::move(connection)](beast::error_code error) mutable {
                              if (stopping || error == net::error::operation_aborted) return;
                              if (!error) return Accepted(std::move(c));
                              retry.expires_after(kAcceptRetry);
                              retry.async_wait([this](beast::error_code waited) {
                                  if (!waited && !stopping) AcceptNext();
                              });
                          });
}

// Serves the connection on a thread of its own once there is room for one more.
void HttpServer::Impl::Accepted(std::unique_ptr<Connection> connection) {
    JoinFinished();
    beast::error_code ignored;
    connection->stream.socket().set_option(tcp::no_delay(true), ignored);
    {
        std::unique_lock<std::mutex> lock(mutex);
        room.wait(lock, [this] { return stopping || active < limits.connections; });
        if (stopping) return;
        ++active;
        Connection& c = *connection;
        connections.push_back(std::move(connection));
        c.thread = std::thread([this, &c] {
            try {
                Serve(c);
            } catch (const std::exception&) {
                // Out of memory or a response the library will not write: the connection goes.
            }
            std::lock_guard<std::mutex> done(mutex);
            --active;
            c.finished = true;
            room.notify_all();
        });
    }
    AcceptNext();
}

void HttpServer::Impl::JoinFinished() {
    std::list<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto at = connections.begin(); at != connections.end();) {
            const auto next = std::next(at);
            if ((*at)->finished) finished.splice(finished.end(), connections, at);
            at = next;
        }
    }
    for (const auto& connection : finished)
        connection->thread.join();
}

HttpServer::HttpServer(HttpHandler handler, HttpRefusal refusal, HttpServerLimits limits)
    : impl_(std::make_unique<Impl>()) {
    impl_->handler = std::move(handler);
    impl_->refusal = std::move(refusal);
    impl_->limits = limits;
}

HttpServer::~HttpServer() {
    Stop();
}

bool HttpServer::Listen(const std::string& host, int port, std::string* error) {
    Impl& impl = *impl_;
    beast::error_code failure;
    if (!impl.Open(host, port, &failure)) {
        *error = failure.message();
        return false;
    }
    impl.AcceptNext();
    impl.listener = std::thread([&impl] { impl.acceptContext.run(); });
    return true;
}

void HttpServer::Stop() {
    Impl& impl = *impl_;
    if (!impl.listener.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(impl.mutex);
        impl.stopping = true;
        impl.room.notify_all();
    }
    net::post(impl.acceptContext, [&impl] {
        beast::error_code ignored;
        impl.acceptor.close(ignored);
        impl.retry.cancel();
    });
    impl.listener.join();
    // Each connection's wait ends at once; a stream at its next turn.
    for (const auto& connection : impl.connections) {
        Impl::Connection& c = *connection;
        net::post(c.context, [&c] { c.stream.close(); });
    }
    for (const auto& connection : impl.connections)
        connection->thread.join();
    impl.connections.clear();
}

int HttpServer::Port() const {
    return impl_->port;
}
