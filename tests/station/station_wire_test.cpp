// The station's web server as a client sees it on the wire, with a meter that is never there:
// what runs on every system, Windows (no pseudo-terminal, so no virtual meter) included. Each
// request's status, headers and body in one table, the event stream's start, and Stop ending
// an open stream.

#include <gtest/gtest.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>
#include <string>

#include "link/link_timing.h"
#include "station/station_http.h"
#include "station/station_metrics.h"

namespace {

namespace net = boost::asio;
using tcp = net::ip::tcp;

constexpr const char* kToken = "s3cret-token";

struct Reply {
    int status = 0;
    std::string head;  // the status line and the headers
    std::string body;  // as sent, chunked or not
};

struct Wire {
    explicit Wire(int port) : socket(context) {
        socket.connect({net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)});
    }
    void Send(const std::string& bytes) { net::write(socket, net::buffer(bytes)); }
    // Up to the end of the headers.
    Reply ReadHead() {
        Reply reply;
        boost::system::error_code error;
        const size_t end = net::read_until(socket, net::dynamic_buffer(buffer), "\r\n\r\n", error);
        if (error) return reply;
        reply.head = buffer.substr(0, end);
        buffer.erase(0, end);
        if (reply.head.rfind("HTTP/1.1 ", 0) == 0) reply.status = std::stoi(reply.head.substr(9));
        return reply;
    }
    // The rest, up to the server's close.
    std::string ReadToEnd() {
        boost::system::error_code error;
        net::read(socket, net::dynamic_buffer(buffer), error);
        return std::move(buffer);
    }
    net::io_context context;
    tcp::socket socket;
    std::string buffer;
};

std::string Request(const std::string& line, const std::string& headers = "",
                    const std::string& body = "") {
    return line + " HTTP/1.1\r\nHost: station\r\nConnection: close\r\n" + headers +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

struct Served {
    Served() {
        station.AddMeter("gone", "no-such-ferrolog-meter", link);
        station.Start();
        open.Start(&error);
        guarded.Start(&error);
    }
    ~Served() {
        open.Stop();
        guarded.Stop();
        station.Stop();
    }
    MeterLink link;
    Station station{StationOptions{}};
    StationHttp open{station, {"127.0.0.1", 0, std::nullopt}};
    StationHttp guarded{station, {"127.0.0.1", 0, kToken}};
    std::string error;
};

TEST(StationWire, EveryRequestGetsItsStatusHeadersAndBody) {
    Served served;
    ASSERT_NE(served.open.Port(), 0) << served.error;
    ASSERT_NE(served.guarded.Port(), 0) << served.error;
    const std::string m = "/api/v1/meters/gone/";
    const std::string json = "Content-Type: application/json";
    const std::string bearer = std::string("Authorization: Bearer ") + kToken + "\r\n";
    const struct {
        bool guarded;
        std::string request;
        int status;
        std::string header;
        std::string body;
    } cases[] = {
        {false, Request("GET /"), 200, "Content-Type: text/html", "<"},
        {false, Request("HEAD /"), 200, "Content-Length: ", ""},
        {false, Request("GET /api/v1/meters"), 200, json, "\"name\":\"gone\""},
        {false, Request("GET " + m + "reading"), 503, json, "fresh"},
        {false, Request("GET /api/v1/meters/nobody/reading"), 404, json, "meter"},
        {false, Request("GET " + m + "readings?since=2000-01-01T00%3A00%3A00%2B01%3A00"), 200, json,
         "\"rows\":[]"},
        {false, Request("GET " + m + "readings?since=2000-01-01T00:00:00+01:00"), 400, json,
         "8601"},
        {false, Request("GET /metrics"), 200, std::string("Content-Type: ") + kMetricsContentType,
         "ferrolog_meter_up{meter=\"gone\"} 0"},
        {false, Request("GET /healthz"), 503, json, "[\"gone\"]"},
        {false, Request("GET /nowhere"), 404, json, "not found"},
        {false, Request("POST /metrics"), 405, "Allow: GET, HEAD", "method"},
        {false, Request("TRACE /"), 405, json, "method"},
        {false, Request("POST " + m + "keys/up", "", std::string(10000, 'x')), 413, json, "large"},
        {false, Request("POST " + m + "keys/sideways"), 404, json, "key"},
        {false, Request("POST " + m + "keys/up"), 503, json, "down"},
        {false, "NONSENSE\r\n\r\n", 400, json, "error"},
        {true, Request("POST " + m + "keys/up"), 401, "WWW-Authenticate: Bearer", "token"},
        {true, Request("POST " + m + "keys/up", bearer + "X-Other: 1\r\n"), 503, json, "down"},
        {true, Request("POST " + m + "keys/up", "authorization: bearer s3cret\r\n"), 403, json,
         "token"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request.substr(0, c.request.find('\r')));
        Wire wire(c.guarded ? served.guarded.Port() : served.open.Port());
        wire.Send(c.request);
        Reply reply = wire.ReadHead();
        reply.body = wire.ReadToEnd();
        EXPECT_EQ(reply.status, c.status) << reply.head << reply.body;
        EXPECT_NE(reply.head.find(c.header), std::string::npos) << reply.head;
        EXPECT_NE(reply.body.find(c.body), std::string::npos) << reply.body;
        if (c.status >= 400) {
            EXPECT_EQ(reply.body.rfind("{\"error\":\"", 0), 0u) << reply.body;
        }
    }
}

TEST(StationWire, StopEndsAnOpenEventStreamWithinAboutASecond) {
    Served served;
    ASSERT_NE(served.open.Port(), 0) << served.error;
    Wire wire(served.open.Port());
    wire.Send(Request("GET /api/v1/events"));
    const Reply reply = wire.ReadHead();
    EXPECT_EQ(reply.status, 200) << reply.head;
    EXPECT_NE(reply.head.find("Content-Type: text/event-stream"), std::string::npos);
    EXPECT_NE(reply.head.find("Transfer-Encoding: chunked"), std::string::npos);
    const int64_t started = NowMs();
    served.open.Stop();
    wire.ReadToEnd();  // returns once the server has closed the stream
    EXPECT_LT(NowMs() - started, 2000);
}

}  // namespace
