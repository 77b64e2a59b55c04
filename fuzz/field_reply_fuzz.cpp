// The field block decoder, with the firmware revision taken from the input's first byte.

#include <span>

#include "fuzz/fuzz_input.h"
#include "measure/field_reading.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const float revision = input.Byte() / 40.0f;  // 0 … 6.4, across every calibration
    const std::vector<uint8_t> reply = input.RestBytes();
    const std::span<const uint8_t> bytes(reply);
    IsWholeFieldReply(bytes);
    FieldBlockData block{};
    DecodeFieldReply(bytes, revision, block);
    return 0;
}
