// The measurement file reader: the text parser directly, and the whole load through a file.

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "measure/measurement.h"
#include "measure/measurement_file.h"

namespace {

// One scratch file per process, rewritten for every input.
const std::string& ScratchPath() {
    static const std::string path = [] {
        // The system's temp folder: /tmp is no folder on Windows.
        std::string name =
            (std::filesystem::temp_directory_path() / "ferrolog-fuzz-XXXXXX").string();
        int fd = mkstemp(name.data());
        if (fd < 0) std::abort();
        close(fd);
        std::atexit([] { unlink(ScratchPath().c_str()); });
        return name;
    }();
    return path;
}

void LoadThroughFile(const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(ScratchPath().c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
    MeasurementBytes buffer{};
    uint8_t kind = 0;
    std::size_t stored = 0;
    LoadMeasurementFile(ScratchPath(), kind, buffer, &stored);
    if (stored > buffer.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    MeasurementBytes buffer{};
    uint8_t kind = 0;
    if (ParseMeasurementText(text, kind, buffer) > buffer.size()) std::abort();
    if (kind > 1) std::abort();
    LeadingInteger(text);
    LoadThroughFile(data, size);
    return 0;
}
