// The whole-reply test of every exchange row, and the screen frame's, on any reply; the
// first byte of the input says how many bytes the read returned.

#include <algorithm>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "link/command_exchange.h"
#include "screen/screen_frame.h"

namespace {

const ExchangePolicy* const kPolicies[] = {
    &kIdentifyPolicy, &kScanPolicy,     &kScreenPolicy,     &kFieldPolicy,   &kSpectrumPolicy,
    &kClockPolicy,    &kShotInfoPolicy, &kShotPixelsPolicy, &kHistoryPolicy,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint8_t readSelector = input.Byte();
    const std::vector<uint8_t> bytes = input.RestBytes();
    for (const ExchangePolicy* policy : kPolicies) {
        // The reply buffer always holds readMax bytes, as RunExchange guarantees.
        std::vector<uint8_t> reply(policy->readMax, 0);
        std::copy_n(bytes.begin(), std::min<size_t>(bytes.size(), reply.size()), reply.begin());
        const int bytesRead = readSelector % (policy->readMax + 1);
        IsWholeReply(*policy, reply.data(), bytesRead);
    }
    std::vector<uint8_t> frame(1025, 0);
    std::copy_n(bytes.begin(), std::min<size_t>(bytes.size(), frame.size()), frame.begin());
    if (ScreenFrameValid(frame.data())) ScreenToRgbImage(frame.data(), 1);
    return 0;
}
