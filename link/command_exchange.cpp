#include "link/command_exchange.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "link/link_timing.h"
#include "link/meter_identity.h"

namespace {

// The identification reply has no trailer: once it holds a model token and the line has
// been quiet this long, nothing more is coming.
constexpr int kQuietAfterTokenMs = 20;
constexpr int kPollStepMs = 1;

bool StopRequested(const std::atomic<bool>* stop) {
    return stop && stop->load();
}

void PrepareBuffer(const ExchangePolicy& policy, uint8_t* reply) {
    switch (policy.buffer) {
        case BufferPrep::Keep:
            break;
        case BufferPrep::Zero:
            std::memset(reply, 0, static_cast<size_t>(policy.readMax));
            break;
        case BufferPrep::FillMarks:
            reply[0] = reply[1] = kFillMark;
            reply[policy.readMax - 2] = reply[policy.readMax - 1] = kFillMark;
            break;
    }
}

// A reply may be taken before the wait ends once nothing more belongs to it.
bool CompleteEarly(const ExchangePolicy& policy, const uint8_t* reply, int count,
                   int64_t lastByteAt) {
    if (count >= policy.readMax) return true;
    if (policy.whole == WholeTest::ModelToken)
        return count > 0 && HasModelToken(reply, count) &&
               NowMs() - lastByteAt >= kQuietAfterTokenMs;
    return false;
}

enum class WaitOutcome { Done, Stopped };

// Waits up to waitMs for the reply, reading it as it arrives (the same bytes a single read at
// the end of the wait would take, only sooner).
WaitOutcome WaitAndRead(CSerialPort& port, const ExchangePolicy& policy, int waitMs, uint8_t* reply,
                        const std::atomic<bool>* stop, int* count) {
    // Whole milliseconds would let the wait end up to one short; the deadline keeps the clock's
    // own resolution and the last step is rounded up.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    int64_t lastByteAt = NowMs();
    *count = 0;
    for (;;) {
        if (policy.stoppable && StopRequested(stop)) return WaitOutcome::Stopped;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) break;
        port.WaitForInput(static_cast<int>(std::min<int64_t>(left, kPollStepMs)));
        int n = port.Read(reply + *count, policy.readMax - *count);
        if (n > 0) {
            *count += n;
            lastByteAt = NowMs();
        }
        if (CompleteEarly(policy, reply, *count, lastByteAt)) return WaitOutcome::Done;
    }
    if (*count < policy.readMax) *count += port.Read(reply + *count, policy.readMax - *count);
    return WaitOutcome::Done;
}

void DrainStale(CSerialPort& port) {
    static thread_local uint8_t scratch[4096];
    port.Read(scratch, sizeof scratch);
}

bool MayRepeat(const ExchangePolicy& policy, int attempts, int waitMs, int64_t startedAt) {
    if (policy.attempts > 0) {
        if (attempts >= policy.attempts) return false;
    } else if (NowMs() - startedAt >= policy.maxTotalMs) {
        return false;
    }
    return policy.waitCapMs == 0 || waitMs < policy.waitCapMs;
}

}  // namespace

bool IsWholeReply(const ExchangePolicy& policy, const uint8_t* reply, int bytesRead) {
    switch (policy.whole) {
        case WholeTest::ModelToken:
            return HasModelToken(reply, std::min(bytesRead, policy.readMax));
        case WholeTest::TrailerAt:
            return reply[policy.trailerOffset] == kReplyTrailer;
        case WholeTest::LastTwoNotMarks:
            return !(reply[policy.readMax - 2] == kFillMark &&
                     reply[policy.readMax - 1] == kFillMark);
        case WholeTest::Always:
            return true;
    }
    return false;
}

ExchangeResult RunExchange(CSerialPort& port, const ExchangePolicy& policy, const Bytes& frame,
                           uint8_t* reply, int portNumber, const std::atomic<bool>* stop) {
    ExchangeResult result;
    const int64_t startedAt = NowMs();
    int waitMs = policy.waitMs;
    for (;;) {
        ++result.attempts;
        if (policy.prepare & kPrepClose) port.Close();
        if ((policy.prepare & kPrepOpen) && !port.Open(portNumber)) {
            result.openFailed = true;
            return result;
        }
        if (policy.prepare & kPrepPurge) port.Purge();
        if (policy.prepare & kPrepDrain) DrainStale(port);
        PrepareBuffer(policy, reply);
        port.Send(frame.data(), static_cast<int>(frame.size()), policy.byteDelayMs);
        if (WaitAndRead(port, policy, waitMs, reply, stop, &result.bytesRead) ==
            WaitOutcome::Stopped) {
            result.stopped = true;
            return result;
        }
        result.whole = IsWholeReply(policy, reply, result.bytesRead);
        if (result.whole || !MayRepeat(policy, result.attempts, waitMs, startedAt)) return result;
        if (policy.closeBeforeRepeat) port.Close();
        if (policy.pauseBetweenMs > 0) SleepMs(policy.pauseBetweenMs);
        waitMs += policy.waitGrowthMs;
    }
}
