// The jobs ferrolog-cli runs, with their usage lines.

#include "cli/cli_jobs.h"

#include <string>

#include "cli/cli_history.h"
#include "cli/cli_measure.h"
#include "cli/cli_record.h"
#include "cli/cli_screen.h"
#include "cli/cli_serve.h"
#include "cli/cli_terminal.h"
#include "link/meter_link.h"

namespace {

struct Job {
    const char* name;
    int (*run)(const CliOptions&, MeterLink&);
    const char* usage;
    bool json;  // prints JSON with --json
};

// clang-format off
constexpr Job kJobs[] = {
    {"ports",    RunPorts,    "ports                         the COM number table", true},
    {"scan",     RunScan,     "scan                          find the meter on COM1..COM32", true},
    {"identify", RunIdentify, "identify                      ask the meter on --com N who it is", true},
    {"send",     RunSend,     "send NAME [HEX.. | --text T]  send one command, print the reply", false},
    {"key",      RunKey,      "key 0-3                       short press (0 Back, 1 Down, 2 Up, 3 Select)", false},
    {"hold",     RunHold,     "hold 1-3                      long press (3 is ON/OFF)", false},
    {"emf",      RunEmf,      "emf [--every 1s] [--count N] [--save DIR] [--iso-dates]  the last 60 s of field readings as CSV", true},
    {"spectrum", RunSpectrum, "spectrum [--threshold DBM] [--every 1s] [--count N] [--save DIR]", true},
    {"record",   RunRecord,   "record field|spectrum [--for 8h] [--every 30] [--threshold DBM] [-o FILE|-]  record continuously (Ctrl+C ends; a field recording fetches its last seconds)", true},
    {"plot",     RunPlot,     "plot FILE --png OUT.png|- [--revision X.YZ] [--size WxH] [--from T] [--to T]  a measurement file, recording or history as a picture (a field file needs --revision or the meter)", false},
    {"screenshot", RunScreenshot, "screenshot 1-4 [FILE]        a screenshot stored in the meter as a bitmap", false},
    {"screen",   RunScreen,   "screen FILE                   the meter's live screen as a bitmap", false},
    {"history",  RunHistory,  "history FILE [--force]        the logged history as FILE.csv and FILE.bin (Ctrl+C saves, exit 130)", true},
    {"history-csv", RunHistoryCsv, "history-csv DUMP.bin OUT.csv [--iso-dates] [--force]  decode a saved history dump into a CSV table", false},
    {"sync-time", RunSyncTime, "sync-time                     set the meter's clock to this computer's time", true},
    {"serve",    RunServe,    "serve [--meter NAME=PATH].. [--listen 127.0.0.1:8080] [--every 1] [--spectrum-every 10] [--record DIR] [--mqtt HOST[:PORT]] [--mqtt-prefix ferrolog] [--mqtt-user USER --mqtt-password-file FILE] [--token-file FILE] [--open]  a monitoring station: the meters on the web, in Prometheus and over MQTT (MQTT is not in the Windows build); --open shows the page in the default browser (Ctrl+C ends)", false},
    {"terminal", RunTerminal, "terminal                      send lines NAME [HEX PAIRS] | NAME --text T from stdin, print replies", false},
};
// clang-format on

}  // namespace

void PrintCliUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: ferrolog-cli [--com N] [--port N=PATH].. [--device PATH] [--only-mapped] "
                 "[--json] [--verbose] JOB [ARGS]\n"
                 "       ferrolog-cli --help | --version\n\njobs:\n");
    for (const Job& job : kJobs)
        std::fprintf(out, "  %s\n", job.usage);
    std::fprintf(
        out,
        "\n--json: ports, scan, identify, emf, spectrum, record, history and sync-time print JSON "
        "(a line per fetch).\nData goes to standard output, messages to standard error. "
        "Exit status: 0 done, 1 failed, 2 wrong command line, 130 history stopped by Ctrl+C (what\n"
        "arrived is saved).\n");
}

int RunCliJob(const CliOptions& options, MeterLink& link) {
    for (const Job& job : kJobs) {
        if (options.command == job.name) {
            if (options.json && !job.json)
                return RefuseUsage(std::string(job.name) + " has no JSON output");
            return job.run(options, link);
        }
    }
    return RefuseUsage("unknown job '" + options.command + "' (see --help)");
}
