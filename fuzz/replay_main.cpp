// Replays fuzz inputs without libFuzzer: every file named, or every file in every folder
// named, goes once through the target. The normal test suite runs each target's checked-in
// corpus this way, so an input that once found a fault stays a test.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "link/utf8_path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool ReplayFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        // UTF-8 on every system: Windows keeps the path in UTF-16.
        std::fprintf(stderr, "replay: cannot read %s\n", Utf8Of(path).c_str());
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        const std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path, error)) {
            for (const auto& entry : std::filesystem::directory_iterator(path)) {
                if (!entry.is_regular_file()) continue;
                if (!ReplayFile(entry.path())) return 1;
                ++replayed;
            }
        } else {
            if (!ReplayFile(path)) return 1;
            ++replayed;
        }
    }
    // An empty corpus would pass without testing anything.
    if (replayed == 0) {
        std::fprintf(stderr, "replay: no inputs\n");
        return 1;
    }
    std::printf("replay: %d inputs\n", replayed);
    return 0;
}
