#include "link/line_receiver.h"

#include "link/link_timing.h"

namespace {

constexpr int kReceiveChunk = 4096;

}  // namespace

void ReceiveUntilQuiet(CSerialPort& port, const ReceivePace& pace, const std::atomic<bool>* running,
                       const ReceivedChunk& onChunk) {
    Clock& clock = port.clock();
    const Deadline deadline(clock, pace.waitMs);
    int64_t lastByteAt = clock.NowMs();
    bool received = false;
    uint8_t chunk[kReceiveChunk];
    while ((!running || running->load()) && (pace.waitMs == 0 || !deadline.Passed())) {
        port.WaitForInput(pace.pollMs);
        const int count = port.Read(chunk, kReceiveChunk);
        if (pace.endOnLost && (count < 0 || port.HungUp())) break;
        if (count > 0) {
            received = true;
            lastByteAt = clock.NowMs();
        }
        onChunk(chunk, count);
        if (pace.quietMs > 0 && received && count <= 0 && clock.NowMs() - lastByteAt > pace.quietMs)
            break;
    }
}
