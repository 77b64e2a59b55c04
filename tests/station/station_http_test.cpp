// The station's web server over real virtual meters on pseudo-terminals: every endpoint and
// every bad request in one table, who may press keys, the event stream at its client limit
// with a client that never reads, and the metrics and the screen picture in their formats.

#include "station/station_http.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "station/station_events.h"
#include "station/station_metrics.h"
#include "station/station_png.h"
#include "tests/support/file_text.h"
#include "tests/support/meter_process.h"
#include "tests/support/served_station.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_until.h"

namespace {

constexpr int kWaitMs = 20000;
constexpr const char* kToken = "s3cret-token";

struct Served {
    Served() {
        options.everyMs = 250;
        options.spectrumEveryMs = 500;
        station.AddMeter("a", meter.DevicePath(), link);
        station.AddMeter("gone", "/dev/no-such-ferrolog-meter", goneLink);
        station.Start();
        std::string error;
        open.Start(&error);
        guarded.Start(&error);
    }
    MeterSnapshot Snap(const std::string& name) const {
        return station.Snapshot(name).value_or(MeterSnapshot{});
    }
    bool Ready() const {
        const MeterSnapshot a = Snap("a");
        return a.reading && a.spectrum && a.screen;
    }

    MeterProcess meter{{"--fast", "--model", "ZTX440"}};
    MeterLink link, goneLink;
    StationOptions options;
    Station station{options};
    StationHttp open{station, {"127.0.0.1", 0, std::nullopt}};
    StationHttp guarded{station, {"127.0.0.1", 0, kToken}};
};

httplib::Result Send(int port, const std::string& method, const std::string& path,
                     const std::string& body = "", const httplib::Headers& headers = {}) {
    httplib::Client client("127.0.0.1", port);
    if (method == "GET") return client.Get(path.c_str(), headers);
    if (method == "DELETE") return client.Delete(path.c_str(), headers);
    return client.Post(path.c_str(), headers, body, "application/octet-stream");
}

class StationHttpTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        served = new Served;
        ASSERT_TRUE(WaitUntil([] { return served->Ready(); }, kWaitMs));
    }
    static void TearDownTestSuite() { delete served; }
    static Served* served;
};
Served* StationHttpTest::served = nullptr;

TEST_F(StationHttpTest, EveryRequestGetsItsStatusTypeAndBody) {
    const std::string bearer = std::string("Bearer ") + kToken;
    const std::string m = "/api/v1/meters/";  // most paths start here
    const char* json = "application/json";
    const httplib::Headers none;
    struct Case {
        bool guarded;
        const char* method;
        std::string path;
        std::string body;
        httplib::Headers headers;
        int status;
        const char* type;
        const char* contains;
    } cases[] = {
        {false, "GET", "/", "", none, 200, "text/html", "<"},
        {false, "GET", "/api/v1/meters", "", none, 200, json, "\"model\":\"ZTX440\""},
        {false, "GET", m + "a/reading", "", none, 200, json, "\"ef_vm\":"},
        {false, "GET", m + "gone/reading", "", none, 503, json, "fresh"},
        {false, "GET", m + "nobody/reading", "", none, 404, json, "meter"},
        {false, "GET", m + "a/readings?since=2000-01-01T00:00:00Z", "", none, 200, json,
         "\"rows\":[{\"time\":"},
        {false, "GET", m + "a/readings?since=2999-01-01T00:00:00Z", "", none, 200, json,
         "\"rows\":[]"},
        {false, "GET", m + "a/readings?since=2000-01-01T00:00:00.610Z", "", none, 200, json,
         "\"rows\":[{\"time\":"},
        {false, "GET", m + "a/readings?since=yesterday", "", none, 400, json, "ISO 8601"},
        {false, "GET", m + "a/readings?since=2000-01-01T00:00:00.Z", "", none, 400, json, "8601"},
        {false, "GET", m + "a/spectrum", "", none, 200, json, "\"dbm\":["},
        {false, "GET", m + "gone/spectrum", "", none, 503, json, "sweep"},
        {false, "GET", m + "a/screen.png", "", none, 200, "image/png", "PNG"},
        {false, "GET", m + "gone/screen.png", "", none, 503, json, "error"},
        {false, "GET", "/metrics", "", none, 200, kMetricsContentType,
         "ferrolog_meter_up{meter=\"a\"} 1"},
        {false, "GET", "/healthz", "", none, 503, json, "[\"gone\"]"},
        {false, "GET", "/nowhere", "", none, 404, json, "not found"},
        {false, "GET", "/%2e%2e/%2e%2e/etc/passwd", "", none, 404, json, "error"},
        {false, "GET", m + "a/reading/more", "", none, 404, json, "error"},
        {false, "POST", "/metrics", "", none, 405, json, "method"},
        {false, "DELETE", "/api/v1/meters", "", none, 405, json, "method"},
        {false, "GET", m + "a/keys/up", "", none, 405, json, "method"},
        {false, "POST", m + "a/keys/up", std::string(10000, 'x'), none, 413, json, "large"},
        {false, "POST", m + "a/keys/sideways", "", none, 404, json, "key"},
        {false, "POST", m + "a/keys/back/hold", "", none, 404, json, "key"},
        {false, "POST", m + "nobody/keys/up", "", none, 404, json, "meter"},
        {false, "POST", m + "gone/keys/up", "", none, 503, json, "down"},
        {false, "POST", m + "a/keys/down/hold", "", none, 204, "", ""},  // select/hold: power off
        {true, "POST", m + "a/keys/up", "", none, 401, json, "token"},
        {true,
         "POST",
         m + "a/keys/up",
         "",
         {{"Authorization", "Bearer s3cret"}},
         403,
         json,
         "token"},
        {true, "POST", m + "a/keys/up", "", {{"Authorization", bearer + "x"}}, 403, json, "token"},
        {true, "POST", m + "a/keys/up", "", {{"Authorization", "Basic czM="}}, 401, json, "token"},
        {true, "POST", m + "a/keys/up", "", {{"Authorization", bearer}}, 204, "", ""},
        {true, "GET", m + "a/reading", "", none, 200, json, "x_mg"},
    };
    for (const Case& c : cases) {
        const int port = c.guarded ? served->guarded.Port() : served->open.Port();
        const httplib::Result result = Send(port, c.method, c.path, c.body, c.headers);
        ASSERT_TRUE(result) << c.method << ' ' << c.path;
        EXPECT_EQ(result->status, c.status) << c.method << ' ' << c.path << ": " << result->body;
        EXPECT_EQ(result->get_header_value("Content-Type").rfind(c.type, 0), 0u) << c.path;
        EXPECT_NE(result->body.find(c.contains), std::string::npos)
            << c.path << ": " << result->body;
        if (c.status >= 400) {
            EXPECT_EQ(result->body.rfind("{\"error\":\"", 0), 0u) << c.path;
        }
    }
}

TEST(StationHttp, OnlyLoopbackAddressesCountAsThisComputer) {
    for (const char* address : {"127.0.0.1", "127.9.8.7", "::1", "::ffff:127.0.0.1"})
        EXPECT_TRUE(IsLoopbackAddress(address)) << address;
    for (const char* address : {"10.0.0.1", "128.0.0.1", "::2", "::ffff:10.0.0.1", "", "x"})
        EXPECT_FALSE(IsLoopbackAddress(address)) << address;
}

TEST(StationMetrics, BaseUnitsFreshValuesOnlyAndEscapedLabels) {
    MeterSnapshot fresh;
    fresh.name = "a";
    fresh.up = true;
    fresh.reading = FieldRow{1765000000, 1.5f, -2.25f, 0.1f, 1000.0f, 12.5f};
    fresh.lastReadingTime = 1765000000;
    fresh.exchangesOk = 7;
    fresh.spectrum = StationSpectrum{};
    fresh.spectrum->dbm.fill(-90);
    fresh.spectrum->dbm[5] = -31;
    MeterSnapshot stale;
    stale.name = "b";
    stale.lastReadingTime = 1764999000;
    stale.exchangesError = 3;
    const std::string text = StationMetricsText({fresh, stale});
    for (const char* line : {
             "# TYPE ferrolog_magnetic_flux_density_tesla gauge\n",
             "ferrolog_magnetic_flux_density_tesla{meter=\"a\",axis=\"x\"} 1.5e-07\n",
             "ferrolog_magnetic_flux_density_tesla{meter=\"a\",axis=\"y\"} -2.25e-07\n",
             "ferrolog_magnetic_flux_density_tesla{meter=\"a\",axis=\"z\"} 1e-08\n",
             "ferrolog_magnetic_flux_density_tesla{meter=\"a\",axis=\"total\"} 1e-04\n",
             "ferrolog_electric_field_volts_per_metre{meter=\"a\"} 12.5\n",
             "ferrolog_rf_peak_power_dbm{meter=\"a\"} -31\n",
             "ferrolog_meter_up{meter=\"a\"} 1\n",
             "ferrolog_meter_up{meter=\"b\"} 0\n",
             "ferrolog_reading_timestamp_seconds{meter=\"b\"} 1764999000\n",
             "# TYPE ferrolog_exchanges_total counter\n",
             "ferrolog_exchanges_total{meter=\"a\",result=\"ok\"} 7\n",
             "ferrolog_exchanges_total{meter=\"b\",result=\"error\"} 3\n",
         })
        EXPECT_NE(text.find(line), std::string::npos) << line;
    for (const char* absent : {"tesla{meter=\"b\"", "metre{meter=\"b\"", "dbm{meter=\"b\""})
        EXPECT_EQ(text.find(absent), std::string::npos) << absent;
    EXPECT_EQ(PrometheusLabelValue("a\"b\\c\nd"), "a\\\"b\\\\c\\nd");
}

TEST(StationPng, TheScreenIsAOneBitPictureOf128By64WithInkBlack) {
    ScreenPicture screen{};
    screen[128 * 7 + 0] = 0x80;  // column 0, row 63 from the bottom: the top left pixel
    const std::string png = ScreenPng(screen);
    const auto byte = [&](size_t at) { return static_cast<uint8_t>(png[at]); };
    ASSERT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n"));
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ((std::vector<int>{byte(18), byte(19), byte(22), byte(23), byte(24), byte(25)}),
              (std::vector<int>{0, 128, 0, 64, 1, 0}));  // width, height, depth 1, greyscale
    EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(png.data() + 12), 17),
              uint32_t(byte(29)) << 24 | byte(30) << 16 | byte(31) << 8 | byte(32));
    const size_t idatLength = byte(35) << 8 | byte(36);
    std::vector<uint8_t> raw(64 * 17);
    uLongf rawLength = raw.size();
    ASSERT_EQ(uncompress(raw.data(), &rawLength, reinterpret_cast<const Bytef*>(png.data() + 41),
                         idatLength),
              Z_OK);
    ASSERT_EQ(rawLength, raw.size());
    EXPECT_EQ((std::vector<int>{raw[0], raw[1], raw[2], raw[17 + 1]}),
              (std::vector<int>{0, 0x7F, 0xFF, 0xFF}));  // ink is black (0), paper white
    EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND");
}

// A stream client on a thread of its own, counting the reading events of one meter it sees.
struct StreamClient {
    StreamClient(int port, const std::string& meter)
        : thread([this, port, marker = "event: reading\ndata: {\"meter\":\"" + meter + "\"}"] {
              httplib::Client client("127.0.0.1", port);
              client.Get("/api/v1/events", [this, &marker](const char* data, size_t length) {
                  seen.append(data, length);
                  for (size_t at; (at = seen.find(marker)) != std::string::npos;) {
                      ++readings;
                      seen.erase(0, at + 1);
                  }
                  return !stop;
              });
          }) {}
    ~StreamClient() {
        stop = true;
        thread.join();
    }
    std::string seen;
    std::atomic<int> readings{0};
    std::atomic<bool> stop{false};
    std::thread thread;
};

// Connects, asks for the stream and never reads a byte of it.
int SilentStreamClient(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const int small = 1024;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    const char request[] = "GET /api/v1/events HTTP/1.1\r\nHost: station\r\n\r\n";
    EXPECT_EQ(write(fd, request, sizeof request - 1), ssize_t(sizeof request - 1));
    return fd;
}

TEST_F(StationHttpTest, SixtyFourStreamsWithOneThatNeverReadsLeaveTheMetersGoingOn) {
    const int port = served->open.Port();
    const int silent = SilentStreamClient(port);
    std::vector<std::unique_ptr<StreamClient>> clients;
    for (int i = 0; i < kMaxEventClients - 1; ++i)
        clients.push_back(std::make_unique<StreamClient>(port, "a"));
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (const auto& client : clients)
                if (client->readings < 1) return false;
            return true;
        },
        kWaitMs))
        << [&] {
               std::string t;
               for (auto& c : clients)
                   t += std::to_string(c->readings) + " ";
               return t;
           }();
    const httplib::Result extra = Send(port, "GET", "/api/v1/events");
    ASSERT_TRUE(extra);
    EXPECT_EQ(extra->status, 503);
    const int64_t before = served->Snap("a").lastReadingTime;
    const int seen = clients.back()->readings;
    EXPECT_TRUE(WaitUntil(
        [&] {
            return served->Snap("a").lastReadingTime >= before + 2 &&
                   clients.back()->readings >= seen + 4;
        },
        kWaitMs));
    // Each client ends at its next event: ask them all at once rather than one after another.
    for (const auto& client : clients)
        client->stop = true;
    clients.clear();
    close(silent);
    // Every place is given back: a new stream is served again.
    EXPECT_TRUE(WaitUntil(
        [&] {
            StreamClient again(port, "a");
            return WaitUntil([&] { return again.readings > 0; }, 2000);
        },
        kWaitMs));
}

TEST(StationHttp, StopEndsOpenStreamsWithinAboutASecond) {
    ServedStation served;
    ASSERT_TRUE(served.started) << served.error;
    const int silent = SilentStreamClient(served.Port());
    StreamClient client(served.Port(), "meter");
    ASSERT_TRUE(WaitUntil([&] { return client.readings > 0; }, kWaitMs));
    const int64_t started = NowMs();
    served.http.Stop();
    EXPECT_LT(NowMs() - started, 2000);
    close(silent);
}

// serve --open hands the page's address to xdg-open: a fake one first on PATH records it and
// stops serve. An opener that fails is a warning, and serve goes on to its usual end.
TEST(StationHttp, ServeOpensItsPageInTheDefaultBrowser) {
    for (const int openerExit : {0, 3}) {
        TempDir dir;
        const std::string opener = dir.File("xdg-open"), seen = dir.File("url");
        std::ofstream(opener) << "#!/bin/sh\nprintf %s \"$1\" >'" << seen
                              << "'\nkill -TERM $PPID\nexit " << openerExit << "\n";
        std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
        const ProgramResult serve = RunProgram(
            "/usr/bin/env",
            {"PATH=" + dir.Path() + ":/usr/bin:/bin", FERROLOG_CLI_PATH, "serve", "--meter",
             "a=/dev/no-such-ferrolog-meter", "--listen", "127.0.0.1:0", "--open"},
            kWaitMs);
        EXPECT_EQ(serve.exitCode, 0) << serve.err;
        const std::string url = ReadFile(seen);
        EXPECT_EQ(url.rfind("http://127.0.0.1:", 0), 0u) << url;
        EXPECT_NE(serve.err.find(" at " + url + "\n"), std::string::npos) << serve.err;
        EXPECT_EQ(serve.err.find("warning: xdg-open") != std::string::npos, openerExit != 0)
            << serve.err;
    }
}

}  // namespace
