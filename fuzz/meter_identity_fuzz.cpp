// The identification parser: the model tokens in both search orders, the name and the
// firmware revision, on a reply of any length (the name and revision read a 32-byte buffer).

#include <algorithm>
#include <array>

#include "link/meter_identity.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int length = static_cast<int>(std::min<size_t>(size, 64));
    ClassifyReply(data, length, ClassifyOrder::Identify);
    ClassifyReply(data, length, ClassifyOrder::Scan);
    HasModelToken(data, length);
    std::array<uint8_t, 32> reply32{};
    std::copy_n(data, std::min<size_t>(size, reply32.size()), reply32.begin());
    const std::string name = ParseMeterName(reply32.data());
    const float revision = ParseFirmwareRevision(reply32.data());
    DeviceMessage(name, revision);
    return 0;
}
