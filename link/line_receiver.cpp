#include "link/line_receiver.h"

#include "link/link_timing.h"

namespace {

constexpr int kReceiveChunk = 4096;

}  // namespace

void ReceiveUntilQuiet(CSerialPort& port, const ReceivePace& pace, const std::atomic<bool>* running,
                       const ReceivedChunk& onChunk) {
    const int64_t deadline = NowMs() + pace.waitMs;
    int64_t lastByteAt = NowMs();
    bool received = false;
    uint8_t chunk[kReceiveChunk];
    while ((!running || running->load()) && (pace.waitMs == 0 || NowMs() < deadline)) {
        port.WaitForInput(pace.pollMs);
        const int count = port.Read(chunk, kReceiveChunk);
        if (pace.endOnLost && (count < 0 || port.HungUp())) break;
        if (count > 0) {
            received = true;
            lastByteAt = NowMs();
        }
        onChunk(chunk, count);
        if (pace.quietMs > 0 && received && count <= 0 && NowMs() - lastByteAt > pace.quietMs)
            break;
    }
}
