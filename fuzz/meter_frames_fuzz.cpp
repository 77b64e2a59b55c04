// The virtual meter's frame reader: the input arrives in chunks whose sizes and arrival
// times come from the input itself, so frames are cut across reads and go stale.

#include <cstdint>
#include <cstdlib>

#include "fuzz/fuzz_input.h"
#include "sim/meter_commands.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    FrameReader reader;
    int64_t nowMs = 0;
    while (!input.Done()) {
        const uint8_t control = input.Byte();
        nowMs += (control >> 4) * 40;  // 0 … 600 ms: some pauses outlast a stale frame
        reader.Expire(nowMs);
        Bytes chunk;
        for (int i = 0; i < (control & 0x0F) + 1 && !input.Done(); ++i)
            chunk.push_back(input.Byte());
        for (const ReceivedFrame& frame : reader.Feed(chunk, nowMs)) {
            if (frame.raw.empty()) std::abort();
            if (frame.command != nullptr) FindCommand(frame.name);
        }
        if (reader.Pending() > static_cast<size_t>(kMaxFrameLength) + 16) std::abort();
    }
    return 0;
}
