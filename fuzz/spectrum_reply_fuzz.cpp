// The spectrum decoder and what is read from a decoded sweep.

#include <span>

#include "measure/spectrum.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    SpectrumRecordData record{};
    if (DecodeSpectrumReply(bytes, record)) SpectrumPeak(record);
    return 0;
}
