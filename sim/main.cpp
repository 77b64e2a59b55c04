// ferrolog-meter: a virtual field meter on a pseudo-terminal, for tests and demonstrations.

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "sim/meter_loop.h"
#include "sim/meter_options.h"
#include "version.h"

namespace {

constexpr int kMeterNice = -10;

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) {
    stopRequested = 1;
}

void InstallSignals() {
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);  // whoever started us may close our stdout after the path
}

// A real meter is hardware of its own: the computer's load never delays its replies. Where the
// system allows it, the meter takes precedence over ordinary processes to come close to that.
void TakePrecedence() {
    setpriority(PRIO_PROCESS, 0, kMeterNice);
}

// Points link at the device, replacing an older link there but never any other file.
bool MakeLink(const std::string& link, const std::string& device) {
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) return false;
        unlink(link.c_str());
    }
    return symlink(device.c_str(), link.c_str()) == 0;
}

// The device path goes to stdout, alone on its line, for whoever started the meter.
void Announce(const VirtualMeter& meter, const PseudoTerminal& line, const MeterOptions& options) {
    std::printf("%s\n", line.DevicePath().c_str());
    std::fflush(stdout);
    if (!options.verbose && !isatty(STDOUT_FILENO)) return;
    const std::string link = options.linkPath.empty() ? "" : " (" + options.linkPath + ")";
    std::fprintf(stderr, "ferrolog-meter: %s on %s%s\n", meter.VersionReply().c_str(),
                 line.DevicePath().c_str(), link.c_str());
}

// Waits out a replug delay; false when a signal asked the meter to stop meanwhile.
bool SleepUnlessStopped(int milliseconds) {
    timespec left{milliseconds / 1000, milliseconds % 1000 * 1'000'000L};
    while (!stopRequested && nanosleep(&left, &left) != 0) {
    }
    return !stopRequested;
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "ferrolog-meter: %s\n", text.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    MeterOptions options;
    std::string error;
    if (!ParseMeterOptions(std::vector<std::string>(argv + 1, argv + argc), &options, &error))
        return Fail(error);
    if (options.help) {
        std::fputs(MeterUsage().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("ferrolog-meter %s\n", kFerrologVersion);
        return 0;
    }
    options.setup.clock = options.clock.value_or(LocalMeterTime(std::time(nullptr)));

    VirtualMeter meter(options.setup);
    if (!meter.LoadHistory(&error)) return Fail(error);
    FaultPlan faults;
    for (const FaultRule& rule : options.faults)
        faults.Add(rule);

    std::FILE* frameLog = nullptr;
    std::FILE* timesLog = nullptr;
    if (!options.logPath.empty()) {
        frameLog = std::fopen(options.logPath.c_str(), "a");
        if (options.logTimes) timesLog = std::fopen((options.logPath + ".times").c_str(), "a");
        if (!frameLog || (options.logTimes && !timesLog))
            return Fail("cannot write " + options.logPath);
    }

    InstallSignals();
    TakePrecedence();

    LoopSettings settings;
    settings.paced = !options.fast;
    settings.latencyMs = options.latencyMs;
    settings.frameLog = frameLog;
    settings.timesLog = timesLog;
    settings.unplugAfter = options.unplugAfter;
    settings.verbose = options.verbose;
    settings.startUptimeMs = options.setup.startUptimeMs;
    const auto pluggedAt = std::chrono::steady_clock::now();
    int result = 0;
    for (;;) {
        LoopEnd end;
        {
            PseudoTerminal line;
            if (!line.Open(&error)) return Fail(error);
            if (!options.linkPath.empty() && !MakeLink(options.linkPath, line.DevicePath()))
                return Fail("cannot make the link " + options.linkPath);
            Announce(meter, line, options);
            end = RunMeterLoop(meter, faults, line, settings, stopRequested);
        }  // the line closes here: the program sees the hang-up
        result = end == LoopEnd::LineFailed ? 1 : 0;
        if (end != LoopEnd::Unplugged || options.replugAfterMs < 0) break;
        // An unplugged adapter's device node goes away with it.
        if (!options.linkPath.empty()) unlink(options.linkPath.c_str());
        if (!SleepUnlessStopped(options.replugAfterMs)) break;
        settings.unplugAfter = 0;  // the cable is pulled once a run
        // The meter runs on its battery while unplugged: its uptime goes on.
        settings.startUptimeMs =
            options.setup.startUptimeMs + std::chrono::duration_cast<std::chrono::milliseconds>(
                                              std::chrono::steady_clock::now() - pluggedAt)
                                              .count();
    }

    if (!options.linkPath.empty()) unlink(options.linkPath.c_str());
    if (frameLog) std::fclose(frameLog);
    if (timesLog) std::fclose(timesLog);
    return result;
}
