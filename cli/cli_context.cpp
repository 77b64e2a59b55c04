#include "cli/cli_context.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "link/port_table.h"
#include "link/serial_port.h"

namespace {

bool TakeValue(int argc, char** argv, int* i, std::string* value) {
    if (*i + 1 >= argc) return false;
    *value = argv[++*i];
    return true;
}

bool ParseNumber(const std::string& text, int low, int high, int* value) {
    char* end = nullptr;
    long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || n < low || n > high) return false;
    *value = static_cast<int>(n);
    return true;
}

}  // namespace

bool ParseCliOptions(int argc, char** argv, CliOptions* options, std::string* error) {
    std::vector<std::string> devices;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        std::string value;
        if (word == "--com") {
            if (!TakeValue(argc, argv, &i, &value) ||
                !ParseNumber(value, 1, PortTable::kPortCount, &options->com)) {
                *error = "--com takes a COM number from 1 to 32";
                return false;
            }
        } else if (word == "--port") {
            int n = 0;
            std::string path;
            if (!TakeValue(argc, argv, &i, &value) || !ParsePortMapping(value, &n, &path)) {
                *error = "--port takes N=PATH, N from 1 to 32";
                return false;
            }
            PortTable::Instance().Map(n, path);
        } else if (word == "--device") {
            if (!TakeValue(argc, argv, &i, &value)) {
                *error = "--device takes a device path";
                return false;
            }
            devices.push_back(value);
        } else if (word == "--only-mapped") {
            options->onlyMapped = true;
        } else if (word == "--verbose" || word == "-v") {
            options->verbose = true;
        } else if (options->command.empty() && word.rfind("--", 0) != 0) {
            options->command = word;
        } else {
            options->args.push_back(word);
        }
    }
    // --device maps after the explicit mappings, so it never takes a number given by --port.
    for (const auto& path : devices) {
        int n = PortTable::Instance().MapToFreeNumber(path);
        if (n == 0) {
            *error = "no free COM number left for " + path;
            return false;
        }
        if (options->com == 0) options->com = n;
    }
    if (!options->onlyMapped && devices.empty()) PortTable::Instance().FillFromSystem();
    return true;
}

void ConsoleView::SelectPortIndex(int index) {
    if (verbose_) std::fprintf(stderr, "trying COM%d\n", index + 1);
}

void ConsoleView::ShowMessage(const std::string& text) {
    std::printf("%s\n", text.c_str());
}

void ExplainOpenFailure() {
    std::string reason = MeterPort.LastOpenError();
    if (!reason.empty()) std::fprintf(stderr, "(%s)\n", reason.c_str());
    if (MeterPort.LastOpenErrno() == EACCES)
        std::fprintf(stderr,
                     "hint: serial devices belong to the group dialout; add yourself with "
                     "'sudo usermod -aG dialout $USER' and log in again\n");
}

bool ConnectMeter(const CliOptions& options, std::FILE* messages) {
    ConsoleView view(options.verbose, messages);
    if (options.com == 0) return ScanForMeter(MeterPort, view);
    bool found = IdentifyMeter(options.com - 1, MeterPort, view);
    if (!found && !MeterPort.IsOpen()) ExplainOpenFailure();
    return found;
}

bool OpenMeterPort(const CliOptions& options) {
    if (options.com == 0) return ConnectMeter(options);
    PortNumber = options.com;
    if (MeterPort.Open(options.com)) return true;
    std::printf("%s\n", kComportOpenError);
    ExplainOpenFailure();
    return false;
}
