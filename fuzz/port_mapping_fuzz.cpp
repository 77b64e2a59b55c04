// The --port N=PATH mapping parser.

#include <cstdlib>
#include <string>

#include "link/port_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    int com = 0;
    std::string path;
    if (ParsePortMapping(text, &com, &path) && (com < 1 || com > 32)) std::abort();
    return 0;
}
