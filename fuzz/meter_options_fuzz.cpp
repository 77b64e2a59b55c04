// ferrolog-meter's option parser (models, revisions, clocks, fault rules), with the input
// cut into words at NUL bytes.

#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "sim/meter_options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    std::vector<std::string> words;
    while (!input.Done() && words.size() < 64)
        words.push_back(input.Until('\0'));
    MeterOptions options;
    std::string error;
    ParseMeterOptions(words, &options, &error);
    return 0;
}
