// The station's web server under a bounded load from wrk (2 threads, 8 connections, 10 s):
// GET /metrics and GET .../reading, p99 latency against the 5 ms target and throughput.

#include <cstdio>
#include <string>

#include "tests/support/served_station.h"
#include "tests/support/wait_until.h"

namespace {

constexpr double kTargetP99Ms = 5.0;

// wrk's "99%" latency line in milliseconds, or a negative number when missing.
double P99Ms(const std::string& out) {
    const size_t at = out.find("    99%");
    if (at == std::string::npos) return -1;
    double value = 0;
    char unit[4] = {};
    if (std::sscanf(out.c_str() + at, " 99%% %lf%3s", &value, unit) != 2) return -1;
    const std::string u = unit;
    return u == "us" ? value / 1000 : u == "s" ? value * 1000 : value;
}

std::string Line(const std::string& out, const char* start) {
    const size_t at = out.find(start);
    if (at == std::string::npos) return "?";
    return out.substr(at, out.find('\n', at) - at);
}

void Load(int port, const std::string& path) {
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + path;
    const ProgramResult wrk =
        RunProgram("/usr/bin/wrk", {"-t2", "-c8", "-d10s", "--latency", url}, 30000);
    if (wrk.exitCode != 0) {
        std::printf("GET %s: wrk failed (%d): %s\n", path.c_str(), wrk.exitCode, wrk.err.c_str());
        return;
    }
    const double p99 = P99Ms(wrk.out);
    std::printf("GET %-28s p99 %.3f ms (%.2f of the %.0f ms target), %s\n", path.c_str(), p99,
                p99 / kTargetP99Ms, kTargetP99Ms, Line(wrk.out, "Requests/sec").c_str());
}

}  // namespace

int main() {
    ServedStation served;
    if (!served.started) {
        std::printf("station_http_bench: %s\n", served.error.c_str());
        return 1;
    }
    if (!WaitUntil([&] { return served.HasReading(); }, 20000)) {
        std::printf("station_http_bench: the meter gave no reading\n");
        return 1;
    }
    Load(served.Port(), "/metrics");
    Load(served.Port(), "/api/v1/meters/meter/reading");
    return 0;
}
