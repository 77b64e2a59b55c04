// The station's CPU share with 3 virtual meters on pseudo-terminals at one fetch a second,
// first with no event clients and then with 64 (the most it takes) reading /api/v1/events,
// each over 30 s, against the 2 % of a core target.
//
// The station is this process (getrusage RUSAGE_SELF: the meters' workers and every server
// thread); the meters are processes of their own and the 64 clients run in a child, this
// program again with --clients, so neither counts.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "link/link_timing.h"
#include "tests/support/served_station.h"
#include "tests/support/wait_until.h"

extern char** environ;

namespace {

constexpr int kMeters = 3;
constexpr int kClients = 64;  // the server's limit on event streams
constexpr int kCpuSeconds = 30;
constexpr double kCpuTargetPercent = 2.0;
constexpr int kStartWaitMs = 30000;
constexpr const char* kClientsFlag = "--clients";
constexpr const char* kReady = "ready";

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// This process's CPU over kCpuSeconds, in % of one core.
double CpuPercent() {
    const double cpuBefore = CpuSeconds();
    const int64_t wallBefore = NowMs();
    SleepMs(kCpuSeconds * 1000);
    return 100.0 * (CpuSeconds() - cpuBefore) / ((NowMs() - wallBefore) / 1000.0);
}

// ---- the client process: 64 streams on one thread, counting the events they bring

struct Stream {
    int fd = -1;
    bool streaming = false;  // the 200 head with its event stream type came
    std::string pending;     // a line not yet whole
    long events = 0;
};

bool OpenStream(int port, Stream* stream) {
    stream->fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (stream->fd < 0 ||
        connect(stream->fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return false;
    const char request[] = "GET /api/v1/events HTTP/1.1\r\nHost: station\r\n\r\n";
    return send(stream->fd, request, sizeof request - 1, MSG_NOSIGNAL) ==
           static_cast<ssize_t>(sizeof request - 1);
}

// Takes what came; false once the server closed the stream.
bool ReadStream(Stream* stream) {
    char buffer[8192];
    const ssize_t got = recv(stream->fd, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    stream->pending.append(buffer, static_cast<size_t>(got));
    size_t start = 0;
    for (size_t end; (end = stream->pending.find('\n', start)) != std::string::npos;
         start = end + 1) {
        const std::string_view line(stream->pending.data() + start, end - start);
        if (line.starts_with("Content-Type: text/event-stream")) stream->streaming = true;
        if (line.starts_with("event: ")) ++stream->events;
    }
    stream->pending.erase(0, start);
    return true;
}

// Runs until its standard input closes, says "ready" once every stream has its head, then
// prints the events received, the streams still open and its own CPU.
int RunClients(int port) {
    std::vector<Stream> streams(kClients);
    for (Stream& stream : streams)
        if (!OpenStream(port, &stream)) return 1;
    bool said = false;
    int open = kClients;
    for (;;) {
        std::vector<pollfd> waits{{STDIN_FILENO, POLLIN, 0}};
        for (const Stream& stream : streams)
            waits.push_back({stream.fd, POLLIN, 0});
        if (poll(waits.data(), waits.size(), -1) < 0) continue;
        if (waits[0].revents) break;  // the bench is done (end of file)
        for (int i = 0; i < kClients; ++i) {
            if (!waits[i + 1].revents || streams[i].fd < 0) continue;
            if (!ReadStream(&streams[i])) {
                close(streams[i].fd);
                streams[i].fd = -1;  // poll skips a negative descriptor
                --open;
            }
        }
        int streaming = 0;
        for (const Stream& stream : streams)
            streaming += stream.streaming;
        if (!said && streaming == kClients) {
            std::printf("%s\n", kReady);
            std::fflush(stdout);
            said = true;
        }
    }
    long events = 0;
    for (const Stream& stream : streams)
        events += stream.events;
    std::printf("%ld %d %.2f\n", events, open, CpuSeconds());
    return 0;
}

// ---- the bench

struct ClientProcess {
    pid_t pid = -1;
    int toChild = -1;    // its standard input: closing it ends the clients
    int fromChild = -1;  // its standard output
};

bool StartClients(int port, ClientProcess* clients) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    const std::string portText = std::to_string(port);
    std::string self = "/proc/self/exe", flag = kClientsFlag;
    std::vector<char*> argv{self.data(), flag.data(), const_cast<char*>(portText.c_str()), nullptr};
    const int failed =
        posix_spawn(&clients->pid, self.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    clients->toChild = in[1];
    clients->fromChild = out[0];
    return failed == 0;
}

// The child's next line, or "" when none came in time.
std::string LineFrom(int fd, int timeoutMs) {
    std::string line;
    const int64_t end = NowMs() + timeoutMs;
    char c = 0;
    while (NowMs() < end) {
        pollfd wait{fd, POLLIN, 0};
        if (poll(&wait, 1, static_cast<int>(end - NowMs())) <= 0) continue;
        if (read(fd, &c, 1) != 1) break;
        if (c == '\n') return line;
        line += c;
    }
    return "";
}

void StopClients(ClientProcess* clients, std::string* summary) {
    close(clients->toChild);
    *summary = LineFrom(clients->fromChild, kStartWaitMs);
    close(clients->fromChild);
    if (summary->empty()) kill(clients->pid, SIGKILL);
    waitpid(clients->pid, nullptr, 0);
}

void ReportWith64Clients(ServedStation& served, double idlePercent) {
    ClientProcess clients;
    if (!StartClients(served.Port(), &clients)) {
        std::printf("station events: the clients did not start\n");
        return;
    }
    if (LineFrom(clients.fromChild, kStartWaitMs) != kReady) {
        std::string ignored;
        StopClients(&clients, &ignored);
        std::printf("station events: the %d streams did not all open\n", kClients);
        return;
    }
    const double percent = CpuPercent();
    std::string summary;
    StopClients(&clients, &summary);
    long events = 0;
    int open = 0;
    double clientCpu = 0;
    std::sscanf(summary.c_str(), "%ld %d %lf", &events, &open, &clientCpu);
    std::printf(
        "station CPU, %d meters at one fetch a second and %d event clients for %d s: %.2f %% "
        "of a core (%.2f of %.0f %%); without clients %.2f %%; the clients got %ld events "
        "(%.1f a second each), %d of %d streams open at the end, their own process %.2f s CPU "
        "(not counted)\n",
        kMeters, kClients, kCpuSeconds, percent, percent / kCpuTargetPercent, kCpuTargetPercent,
        idlePercent, events, events / double(kClients) / kCpuSeconds, open, kClients, clientCpu);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], kClientsFlag) == 0) return RunClients(std::atoi(argv[2]));
    signal(SIGPIPE, SIG_IGN);
    ServedStation served({"--fast"}, {}, std::nullopt, kMeters);
    if (!served.started) {
        std::printf("station_events_bench: %s\n", served.error.c_str());
        return 1;
    }
    const bool reading = WaitUntil(
        [&] {
            for (int i = 0; i < kMeters; ++i)
                if (!served.HasReading(ServedStation::MeterName(i))) return false;
            return true;
        },
        kStartWaitMs);
    if (!reading) {
        std::printf("station_events_bench: the meters gave no reading\n");
        return 1;
    }
    const double idlePercent = CpuPercent();
    std::printf(
        "station CPU, %d meters at one fetch a second, no event clients, %d s: %.2f %% "
        "of a core (%.2f of %.0f %%)\n",
        kMeters, kCpuSeconds, idlePercent, idlePercent / kCpuTargetPercent, kCpuTargetPercent);
    ReportWith64Clients(served, idlePercent);
    return 0;
}
