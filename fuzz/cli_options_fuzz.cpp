// ferrolog-cli's option parser, with the input cut into words at NUL bytes.

#include <string>
#include <vector>

#include "cli/cli_context.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    std::vector<std::string> words = {"ferrolog-cli"};
    while (!input.Done() && words.size() < 64)
        words.push_back(input.Until('\0'));
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    CliOptions options;
    std::string error;
    PortTable ports;
    ParseCliOptions(static_cast<int>(words.size()), argv.data(), &options, &error, ports);
    return 0;
}
