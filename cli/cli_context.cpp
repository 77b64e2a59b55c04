#include "cli/cli_context.h"

#include <cerrno>
#include <cstdio>

#include "cli/cli_console.h"
#include "cli/cli_numbers.h"
#include "link/port_diagnosis.h"
#include "link/port_table.h"
#include "link/serial_port.h"

namespace {

bool TakeValue(int argc, char** argv, int* i, std::string* value) {
    if (*i + 1 >= argc) return false;
    *value = argv[++*i];
    return true;
}

bool IsOption(const std::string& word) {
    return word.size() > 1 && word[0] == '-';
}

// The options that take no value; anything else starting with "-" before the job is unknown.
bool TakeFlag(const std::string& word, CliOptions* options) {
    if (word == "--only-mapped")
        options->onlyMapped = true;
    else if (word == "--verbose" || word == "-v")
        options->verbose = true;
    else if (word == "--json")
        options->json = true;
    else if (word == "--help" || word == "-h")
        options->help = true;
    else if (word == "--version")
        options->version = true;
    else
        return false;
    return true;
}

}  // namespace

bool ParseCliOptions(int argc, char** argv, CliOptions* options, std::string* error,
                     PortTable& ports) {
    std::vector<std::string> devices;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        std::string value;
        if (word == "--com") {
            int64_t com = 0;
            if (!TakeValue(argc, argv, &i, &value) ||
                !ParseInteger(value, 1, PortTable::kPortCount, &com)) {
                *error = "--com takes a COM number from 1 to 32";
                return false;
            }
            options->com = static_cast<int>(com);
        } else if (word == "--port") {
            int n = 0;
            std::string path;
            if (!TakeValue(argc, argv, &i, &value) || !ParsePortMapping(value, &n, &path)) {
                *error = "--port takes N=PATH, N from 1 to 32";
                return false;
            }
            if (std::string problem = PortMappingProblem(path); !problem.empty()) {
                *error = "--port " + problem;
                return false;
            }
            ports.Map(n, path);
        } else if (word == "--device") {
            if (!TakeValue(argc, argv, &i, &value)) {
                *error = "--device takes a device path";
                return false;
            }
            devices.push_back(value);
        } else if (TakeFlag(word, options)) {
        } else if (options->command.empty() && !IsOption(word)) {
            options->command = word;
        } else if (options->command.empty()) {
            *error = "unknown option '" + word + "' (see --help)";
            return false;
        } else {
            options->args.push_back(word);  // the job's own, checked by the job
        }
    }
    if (options->help || options->version) return true;
    // --device maps after the explicit mappings, so it never takes a number given by --port.
    for (const auto& path : devices) {
        int n = ports.MapToFreeNumber(path);
        if (n == 0) {
            *error = "no free COM number left for " + path;
            return false;
        }
        if (options->com == 0) options->com = n;
    }
    if (!options->onlyMapped && devices.empty()) ports.FillFromSystem();
    return true;
}

int RefuseUsage(const std::string& text) {
    std::fprintf(stderr, "ferrolog-cli: %s\n", text.c_str());
    return kExitUsage;
}

bool RefuseArgs(const CliOptions& options, int* status) {
    if (options.args.empty()) return false;
    *status = RefuseUsage(options.command + " takes no argument '" + options.args[0] + "'");
    return true;
}

void ConsoleView::SelectPortIndex(int index) {
    // Said on a terminal (or when asked for), so a slow scan shows where it is.
    if (!verbose_ && !StderrIsTerminal()) return;
    const std::string path = ports_.PathOf(index + 1);
    std::fprintf(stderr, "trying COM%d %s\n", index + 1, path.c_str());
}

void ConsoleView::ShowMessage(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

void ExplainOpenFailure(const MeterLink& link) {
    std::string reason = link.port.LastOpenError();
    if (!reason.empty()) std::fprintf(stderr, "(%s)\n", reason.c_str());
    std::vector<std::string> hints;
    AddOpenFailureHint(link.port.Ports().PathOf(link.PortNumber), link.port.LastOpenFailure(),
                       &hints);
    for (const std::string& hint : hints)
        std::fprintf(stderr, "%s\n", hint.c_str());
}

bool ScanAndExplain(MeterLink& link, ConsoleView& view) {
    ScanReport report;
    if (ScanForMeter(link, view, &report)) return true;
    std::vector<std::string> lines = report.Lines();
    for (const ScanProblem& problem : report.problems)
        if (problem.failure != PortFailure::None)
            AddOpenFailureHint(problem.path, problem.failure, &lines);
    for (const std::string& line : lines)
        std::fprintf(stderr, "%s\n", line.c_str());
    return false;
}

bool ReportIfDisconnected(const MeterLink& link) {
    if (!link.LinkLost) return false;
    std::fprintf(stderr, "%s\n", kMeterDisconnected);
    return true;
}

bool ConnectMeter(const CliOptions& options, MeterLink& link) {
    ConsoleView view(options.verbose, link.port);
    if (options.com == 0) return ScanAndExplain(link, view);
    bool found = IdentifyMeter(options.com - 1, link, view);
    if (found || ReportIfDisconnected(link)) return found;
    // The program's text is the same whether the port refused or the meter kept quiet.
    if (link.port.LastOpenFailure() == PortFailure::None)
        std::fprintf(stderr, "(the meter did not answer)\n");
    else
        ExplainOpenFailure(link);
    return false;
}

bool OpenMeterPort(const CliOptions& options, MeterLink& link) {
    if (options.com == 0) return ConnectMeter(options, link);
    link.PortNumber = options.com;
    if (link.port.Open(options.com)) return true;
    std::fprintf(stderr, "%s\n", kComportOpenError);
    ExplainOpenFailure(link);
    return false;
}
