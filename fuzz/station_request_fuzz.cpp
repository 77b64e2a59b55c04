// The station's web server on any bytes a client may send: each input goes as it is over one
// loopback connection to a StationHttp whose one meter is down. The server must answer with a
// well-formed status line (never a handler's 500) or close, and must still answer GET /healthz
// on a new connection afterwards.
//
// The library answers nothing to a client that has shut its side for writing, and keeps a
// connection open a second after each answer, so the input is followed by an empty line (a
// head left open ends there) and the client reads one whole answer, by its length, and closes.
// Only when nothing comes for a while (the server waits for a body the input never sends)
// does the client shut its side, and the server then closes without an answer.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "link/meter_link.h"
#include "station/station.h"
#include "station/station_http.h"

namespace {

// The server drops a connection that stalls for 1 s; past this it neither answered nor closed.
constexpr std::chrono::milliseconds kAnswerBound{4000};
// Silence this long means the server waits for more: a request it can answer takes a
// millisecond. Waiting out its own 1 s instead would make most of the run waiting.
constexpr int kQuietMs = 25;
constexpr const char* kDownMeterPath = "/nonexistent/ferrolog-fuzz-meter";
constexpr const char* kEndOfHead = "\r\n\r\n";
constexpr const char* kHealthRequest =
    "GET /healthz HTTP/1.1\r\nHost: station\r\nConnection: close\r\n\r\n";
constexpr const char* kHealthDown = "HTTP/1.1 503 ";  // the one meter is never there

[[noreturn]] void Fault(const char* what, const std::string& answer) {
    std::fprintf(stderr, "station_request: %s; the answer began: %.200s\n", what, answer.c_str());
    std::abort();
}

// One station and its server for the whole run: a server started per input would be all the
// fuzzer measured. Destroyed at exit, which stops the server before the station goes.
struct FuzzedServer {
    FuzzedServer() : station(StationOptions{}), http(station, {"127.0.0.1", 0, std::nullopt}) {
        station.AddMeter("meter", kDownMeterPath, link);
        station.Start();
        std::string error;
        if (!http.Start(&error)) Fault("the server did not start", error);
    }

    MeterLink link;
    Station station;
    StationHttp http;
};

// A connect a signal interrupted (libFuzzer's timer) goes on by itself: wait for its end.
bool ConnectFinished(int fd) {
    pollfd writable{fd, POLLOUT, 0};
    int ready = 0;
    while ((ready = poll(&writable, 1, static_cast<int>(kAnswerBound.count()))) < 0 &&
           errno == EINTR) {
    }
    int error = ETIMEDOUT;
    socklen_t length = sizeof error;
    if (ready == 1) getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
    errno = error;
    return error == 0;
}

int Connect(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) Fault("no socket", std::strerror(errno));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // A bound on every write too: a server that stops reading must not hang the fuzzer.
    const timeval bound{static_cast<time_t>(kAnswerBound.count() / 1000), 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &bound, sizeof bound);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
        !(errno == EINTR && ConnectFinished(fd)))
        Fault("the server took no connection", std::strerror(errno));
    return fd;
}

// Writes what it can: a server that answers early and closes refuses the rest, which is fine.
void SendAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Whether the bytes hold one whole answer: its head, then the body the head announces (none
// after HEAD, 1xx, 204 and 304). An event stream never ends: its head is enough.
bool WholeAnswer(const std::string& answer, bool toHead) {
    const size_t headEnd = answer.find(kEndOfHead);
    if (headEnd == std::string::npos) return false;
    const std::string head = Lower(answer.substr(0, headEnd + 2));
    if (head.find("text/event-stream") != std::string::npos) return true;
    const int status = std::atoi(head.c_str() + std::min<size_t>(9, head.size()));
    if (toHead || status < 200 || status == 204 || status == 304) return true;
    const size_t body = headEnd + std::strlen(kEndOfHead);
    if (head.find("\r\ntransfer-encoding: chunked\r\n") != std::string::npos)
        return answer.find("\r\n0\r\n\r\n", body - 2) != std::string::npos;
    const size_t length = head.find("\r\ncontent-length:");
    if (length == std::string::npos) return false;  // the body ends where the server closes
    return answer.size() - body >= std::strtoull(head.c_str() + length + 17, nullptr, 10);
}

// The server's first answer, read until it is whole or the server closes. With mayShut, a
// silence shuts the client's side (see the top); a request that must be answered never does.
// False when the bound passed first.
bool ReadAnswer(int fd, bool toHead, bool mayShut, std::string* answer) {
    const auto deadline = std::chrono::steady_clock::now() + kAnswerBound;
    char buffer[4096];
    bool shut = !mayShut;
    while (!WholeAnswer(*answer, toHead)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        const int wait = shut || !answer->empty() ? static_cast<int>(left.count()) : kQuietMs;
        pollfd readable{fd, POLLIN, 0};
        const int ready = poll(&readable, 1, std::min(wait, static_cast<int>(left.count())));
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0 && !shut && answer->empty()) {
            shutdown(fd, SHUT_WR);  // the server waits for more: tell it there is none
            shut = true;
            continue;
        }
        if (ready <= 0) return false;
        const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return true;  // closed, or reset after refusing the rest of the input
        answer->append(buffer, static_cast<size_t>(got));
    }
    return true;
}

std::string Exchange(int port, const std::string& request, bool mayShut) {
    const int fd = Connect(port);
    SendAll(fd, reinterpret_cast<const uint8_t*>(request.data()), request.size());
    std::string answer;
    const bool ended = ReadAnswer(fd, request.rfind("HEAD ", 0) == 0, mayShut, &answer);
    close(fd);
    if (!ended) Fault("the server neither answered nor closed", answer);
    return answer;
}

// "HTTP/1.x NNN reason\r\n": the version, a three-digit status, printable text.
bool WellFormedStatusLine(const std::string& answer) {
    const size_t end = answer.find("\r\n");
    if (end == std::string::npos || end < 13 || answer.compare(0, 7, "HTTP/1.") != 0) return false;
    if ((answer[7] != '0' && answer[7] != '1') || answer[8] != ' ' || answer[12] != ' ')
        return false;
    for (size_t i = 9; i < 12; ++i)
        if (answer[i] < '0' || answer[i] > '9') return false;
    for (size_t i = 13; i < end; ++i)
        if (static_cast<unsigned char>(answer[i]) < ' ' || answer[i] == 0x7f) return false;
    return answer[9] >= '1' && answer[9] <= '5';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzedServer served;
    const int port = served.http.Port();
    const std::string answer =
        Exchange(port, std::string(reinterpret_cast<const char*>(data), size) + kEndOfHead, true);
    if (!answer.empty() && !WellFormedStatusLine(answer))
        Fault("the answer has no well-formed status line", answer);
    if (answer.compare(0, 13, "HTTP/1.1 500 ") == 0) Fault("a handler failed", answer);
    const std::string health = Exchange(port, kHealthRequest, false);
    if (health.compare(0, std::strlen(kHealthDown), kHealthDown) != 0)
        Fault("the server stopped answering /healthz", health);
    return 0;
}
