// ferrolog-cli: the program's jobs from a shell, addressing the meter by COM number as the
// window does.

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli_console.h"
#include "cli/cli_context.h"
#include "cli/cli_jobs.h"
#include "link/meter_link.h"
#include "version.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");  // numbers always print with a decimal point
    PrepareStandardStreams();
    std::vector<std::string> words = CommandLineWords(argc, argv);
    std::vector<char*> wordPointers;
    for (std::string& word : words)
        wordPointers.push_back(word.data());
    wordPointers.push_back(nullptr);
    CliOptions options;
    std::string error;
    MeterLink link;
    if (!ParseCliOptions(static_cast<int>(words.size()), wordPointers.data(), &options, &error,
                         link.port.Ports())) {
        std::fprintf(stderr, "ferrolog-cli: %s\n", error.c_str());
        return kExitUsage;
    }
    if (options.help || options.command == "help") {
        PrintCliUsage(stdout);
        return 0;
    }
    if (options.version) {
        std::printf("ferrolog-cli %s\n", kFerrologVersion);
        return 0;
    }
    if (options.command.empty()) {
        PrintCliUsage(stderr);
        return kExitUsage;
    }
    const int status = RunCliJob(options, link);
    std::fflush(stdout);
    link.port.Close();
    return status;
}
