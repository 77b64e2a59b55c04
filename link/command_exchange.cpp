#include "link/command_exchange.h"

#include <algorithm>
#include <cstring>

#include "link/link_timing.h"
#include "link/meter_identity.h"

namespace {

// The identification reply has no trailer: once it holds a model token and the line has
// been quiet this long, nothing more is coming.
constexpr int kQuietAfterTokenMs = 20;
constexpr int kPollStepMs = 1;
// "Quiet" is a few byte times (87 us each at 115200 baud), rounded up to what a sleeping
// reader and a USB adapter's own delivery can resolve.
constexpr int kQuietLineMs = 4;
// A reply that stops arriving for this long has ended short: a meter never pauses this long
// inside a reply, while a USB adapter may hold bytes back for up to 16 ms.
constexpr int kShortReplyOverMs = 50;
// Room for the meter's processing beyond the reply's time on the line.
constexpr int kSettleMarginMs = 20;
constexpr int kByteMicros = 87;
// While the port's device is lost an exchange reports it after this pause, so callers that
// keep asking never spin.
constexpr int kLostLinkPauseMs = 20;
// How long after its request a reply given up on may still come: a meter busy with its own
// work has been seen to answer a second and a half late; this leaves room to spare.
constexpr int kOwedReplyBoundMs = 3000;

bool Raised(const std::atomic<bool>* flag) {
    return flag && flag->load();
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

uint32_t BigEndian32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
           static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
}

// A reply may be taken before the wait ends once nothing more belongs to it.
bool CompleteEarly(const ExchangePolicy& policy, const uint8_t* reply, int count,
                   int64_t lastByteAt, int64_t nowMs) {
    if (policy.whole == WholeTest::AcceptanceAfterWait) return false;
    if (count >= policy.readMax) return true;
    if (policy.whole == WholeTest::ModelToken)
        return count > 0 && HasModelToken(reply, count) && nowMs - lastByteAt >= kQuietAfterTokenMs;
    return false;
}

enum class WaitOutcome { Done, Stopped, HungUp };

// Waits up to waitMs for the reply, reading it as it arrives (the same bytes a single read at
// the end of the wait would take, only sooner).
WaitOutcome WaitAndRead(CSerialPort& port, const ExchangePolicy& policy, int waitMs, uint8_t* reply,
                        const std::atomic<bool>* stop, int* count) {
    // Whole milliseconds would let the wait end up to one short; the deadline keeps the clock's
    // own resolution and the last step is rounded up.
    Clock& clock = port.clock();
    const int64_t deadlineUs = clock.NowUs() + int64_t{waitMs} * 1000;
    int64_t lastByteAt = clock.NowMs();
    *count = 0;
    for (;;) {
        if (policy.stoppable && Raised(stop)) return WaitOutcome::Stopped;
        const int64_t leftUs = deadlineUs - clock.NowUs();
        const int64_t left = leftUs > 0 ? (leftUs + 999) / 1000 : 0;
        if (left <= 0) break;
        const int stepMs = static_cast<int>(std::min<int64_t>(left, kPollStepMs));
        // While a reply streams in, a byte is there at every look: waking for each one costs
        // more than the reply is worth, so its arrival is collected once per step instead.
        if (*count > 0)
            clock.SleepMs(stepMs);
        else
            port.WaitForInput(stepMs);
        int n = port.Read(reply + *count, policy.readMax - *count);
        if (port.HungUp()) return WaitOutcome::HungUp;
        if (n > 0) {
            *count += n;
            lastByteAt = clock.NowMs();
        }
        if (CompleteEarly(policy, reply, *count, lastByteAt, clock.NowMs()))
            return WaitOutcome::Done;
    }
    if (*count < policy.readMax) *count += port.Read(reply + *count, policy.readMax - *count);
    return port.HungUp() ? WaitOutcome::HungUp : WaitOutcome::Done;
}

void DrainStale(CSerialPort& port) {
    uint8_t scratch[4096];  // read away, never looked at
    port.Read(scratch, sizeof scratch);
}

// A reply of fixed length is well formed only when the line stays quiet behind it for quietMs
// (seen within 1 ms of a stop on a stoppable row, which makes the reply not well formed).
bool NothingFollows(CSerialPort& port, const ExchangePolicy& policy, int quietMs,
                    const std::atomic<bool>* stop) {
    if (policy.whole == WholeTest::ModelToken) return true;
    if (policy.whole == WholeTest::AcceptanceAfterWait) {
        DrainStale(port);  // what came behind the acceptance within the wait
        return !port.HungUp();
    }
    if (!policy.stoppable || quietMs <= kQuietLineMs)
        return !port.WaitForInput(quietMs) && !port.HungUp();
    // By the clock, not by counting steps: a step may take longer than asked (Windows' timer).
    const Deadline deadline(port.clock(), quietMs);
    while (!deadline.Passed())
        if (Raised(stop) || port.WaitForInput(kPollStepMs) || port.HungUp()) return false;
    return true;
}

// InStep: every byte owed came and the line is quiet; CameShort: a reply stopped short, and
// nothing more is waited for.
enum class Settle { InStep, CameShort, Unanswered, OutOfStep, HungUp, Stopped };

int WireMs(int bytes) {
    return bytes * kByteMicros / 1000 + kSettleMarginMs;
}

// Reads away and discards up to owedBytes more, until they came and the line is quiet, or until
// a reply that began (begun, or bytes read here) has stopped short. A reply on its way is let
// finish: the time its owed bytes still take on the line extends deadlineMs. At the deadline:
// Unanswered when nothing at all came, OutOfStep when bytes did.
Settle DiscardOwedBytes(CSerialPort& port, bool stoppable, const std::atomic<bool>* stop,
                        int owedBytes, bool begun, int64_t deadlineMs) {
    Clock& clock = port.clock();
    int64_t lastByteAt = clock.NowMs();
    int received = 0;
    uint8_t scratch[4096];  // read away, never looked at
    for (;;) {
        if (stoppable && Raised(stop)) return Settle::Stopped;
        const int64_t quietMs = clock.NowMs() - lastByteAt;
        if (received >= owedBytes && quietMs >= kQuietLineMs) return Settle::InStep;
        if ((begun || received > 0) && quietMs >= kShortReplyOverMs) return Settle::CameShort;
        if (clock.NowMs() >= deadlineMs)
            return begun || received > 0 ? Settle::OutOfStep : Settle::Unanswered;
        port.WaitForInput(kPollStepMs);
        const int n = port.Read(scratch, sizeof scratch);
        if (port.HungUp()) return Settle::HungUp;
        if (n > 0) {
            received += n;
            lastByteAt = clock.NowMs();
            // Bytes beyond those owed get no more time: a flood never holds the exchange.
            if (received < owedBytes)
                deadlineMs = std::max(deadlineMs, lastByteAt + WireMs(owedBytes - received));
        }
    }
}

int OwedBytes(const ExchangePolicy& policy, int bytesRead) {
    return policy.whole == WholeTest::ModelToken ? 0 : std::max(policy.readMax - bytesRead, 0);
}

// Requests of this exchange that got no answer at all. Each may still be answered until the
// bound after the latest of them, and such a late answer must never pass for a later
// request's: while one may come, every reply taken must have nothing behind it for as long as
// a reply may take, since the answer to the request that was read would follow it.
struct Unanswered {
    int requests = 0;
    int64_t untilMs = 0;

    bool Live(Clock& clock) const { return requests > 0 && clock.NowMs() < untilMs; }
    void Add(int64_t sentAt) {
        ++requests;
        untilMs = sentAt + kOwedReplyBoundMs;
    }
    int Bytes(const ExchangePolicy& policy, Clock& clock) const {
        return Live(clock) ? requests * policy.readMax : 0;
    }
};

// After a failed attempt: lets the rest of the reply given up on arrive and discards it, with
// the answers still owed to earlier requests, then waits for the line to be quiet. A reply that
// began and then stopped has ended short and owes nothing more. A request that got no answer
// gives its late answer the row's wait and its time on the line to begin (Unanswered if none
// does), and a reply that has begun is let finish. Text replies have no known length, so for
// them only the quiet counts.
Settle SettleLine(CSerialPort& port, const ExchangePolicy& policy, int waitMs, int bytesRead,
                  const Unanswered& unanswered, const std::atomic<bool>* stop) {
    const int owedBytes = OwedBytes(policy, bytesRead);
    const int64_t deadline =
        port.clock().NowMs() + waitMs + (owedBytes > 0 ? WireMs(owedBytes) : 0);
    return DiscardOwedBytes(port, policy.stoppable, stop,
                            owedBytes + unanswered.Bytes(policy, port.clock()), bytesRead > 0,
                            deadline);
}

// An exchange that ends with replies still to come (the rest of the last one, and the answers
// to requests that got none) leaves them owed to the port, for the next exchange to let pass.
void NoteOwedReply(CSerialPort& port, const ExchangePolicy& policy, int bytesRead,
                   const Unanswered& unanswered, int64_t sentAt) {
    const int lastOwes = OwedBytes(policy, bytesRead);
    const int owedBytes = lastOwes + unanswered.Bytes(policy, port.clock());
    const int64_t untilMs = lastOwes > 0 ? sentAt + kOwedReplyBoundMs : unanswered.untilMs;
    if (owedBytes > 0 && port.IsOpen())
        port.NoteOwedReply({port.OpenPortNumber(), owedBytes, untilMs});
}

// Before the first request: a reply still owed to an earlier exchange on this COM number is
// let arrive and discarded, so it is never read as this exchange's answer. Once the owed reply
// is past its time nothing more is waited for.
Settle LetOwedReplyPass(CSerialPort& port, const ExchangePolicy& policy, int portNumber,
                        const std::atomic<bool>* stop) {
    const CSerialPort::OwedReply owed = port.TakeOwedReply();
    const int number = port.IsOpen() ? port.OpenPortNumber() : portNumber;
    if (owed.portNumber == 0 || owed.portNumber != number || port.clock().NowMs() >= owed.untilMs)
        return Settle::InStep;
    if (!port.IsOpen() && (!(policy.prepare & kPrepOpen) || !port.Open(portNumber)))
        return Settle::InStep;  // the attempt finds the port as it is
    const Settle settle =
        DiscardOwedBytes(port, policy.stoppable, stop, owed.bytes, false, owed.untilMs);
    if (settle == Settle::Stopped) port.NoteOwedReply(owed);
    return settle == Settle::HungUp || settle == Settle::Stopped ? settle : Settle::InStep;
}

bool MayRepeat(const ExchangePolicy& policy, int attempts, int waitMs, int64_t startedAt,
               int64_t nowMs) {
    if (policy.attempts > 0) {
        if (attempts >= policy.attempts) return false;
    } else if (nowMs - startedAt >= policy.maxTotalMs) {
        return false;
    }
    return policy.waitCapMs == 0 || waitMs < policy.waitCapMs;
}

// The pause before a repeat; a stoppable row looks at its stop flag before every 1 ms sleep.
bool PauseUnlessStopped(Clock& clock, const ExchangePolicy& policy, const std::atomic<bool>* stop) {
    if (!policy.stoppable) {
        clock.SleepMs(policy.pauseBetweenMs);
        return true;
    }
    const Deadline deadline(clock, policy.pauseBetweenMs);
    while (!deadline.Passed()) {
        if (Raised(stop)) return false;
        clock.SleepMs(kPollStepMs);
    }
    return !Raised(stop);
}

enum class Prepared { Ready, OpenFailed, Lost };

Prepared PreparePort(CSerialPort& port, const ExchangePolicy& policy, int portNumber) {
    if (port.HungUp() && !port.IsOpen()) {
        port.clock().SleepMs(kLostLinkPauseMs);
        return Prepared::Lost;
    }
    if (policy.prepare & kPrepClose) port.Close();
    if ((policy.prepare & kPrepOpen) && !port.Open(portNumber)) return Prepared::OpenFailed;
    if (policy.prepare & kPrepPurge) port.Purge();
    if (policy.prepare & kPrepDrain) DrainStale(port);
    return port.HungUp() ? Prepared::Lost : Prepared::Ready;
}

}  // namespace

bool SpectrumLayoutPlausible(const uint8_t* reply) {
    const uint64_t start = BigEndian32(reply + kSpectrumStartHzAt);
    const uint64_t spacing = BigEndian32(reply + kSpectrumSpacingHzAt);
    const uint64_t stop = start + kSpectrumLastBin * spacing;
    return spacing > 0 && stop <= UINT32_MAX;
}

// The identification reply is printable text; another control byte in it means the line
// spoiled it.
static bool PrintableText(const uint8_t* reply, int count) {
    return std::all_of(reply, reply + count, [](uint8_t b) {
        return (b >= 0x20 && b < 0x7F) || b == '\r' || b == '\n' || b == '\t';
    });
}

bool IsWholeReply(const ExchangePolicy& policy, const uint8_t* reply, int bytesRead) {
    if (policy.whole == WholeTest::ModelToken) {
        const int count = std::min(bytesRead, policy.readMax);
        return HasModelToken(reply, count) && PrintableText(reply, count);
    }
    if (bytesRead != policy.readMax) return false;
    switch (policy.whole) {
        case WholeTest::ModelToken:
            break;
        case WholeTest::TrailerAt:
        case WholeTest::AcceptanceAfterWait:
            return reply[policy.trailerOffset] == kReplyTrailer;
        case WholeTest::LastTwoNotMarks:
            return !(reply[policy.readMax - 2] == kFillMark &&
                     reply[policy.readMax - 1] == kFillMark);
        case WholeTest::SpectrumLayout:
            return SpectrumLayoutPlausible(reply);
    }
    return false;
}

namespace {

// How the settle after a failed attempt ends the exchange, if it does.
bool EndedBySettle(Settle settle, ExchangeResult& result) {
    switch (settle) {
        case Settle::InStep:
        case Settle::CameShort:
            return false;
        case Settle::Unanswered:
        case Settle::OutOfStep:
            result.outOfStep = true;
            break;
        case Settle::HungUp:
            result.hungUp = true;
            break;
        case Settle::Stopped:
            result.stopped = true;
            break;
    }
    return true;
}

// One run of an exchange: its attempts, and the replies it still awaits.
class ExchangeRun {
  public:
    ExchangeRun(CSerialPort& port, const ExchangePolicy& policy, const Bytes& frame, uint8_t* reply,
                int portNumber, const std::atomic<bool>* stop,
                const std::atomic<bool>* endAfterAttempt)
        : port_(port),
          policy_(policy),
          frame_(frame),
          reply_(reply),
          portNumber_(portNumber),
          stop_(stop),
          endAfterAttempt_(endAfterAttempt),
          waitMs_(policy.waitMs) {}

    ExchangeResult Run() {
        if (EndedBySettle(LetOwedReplyPass(port_, policy_, portNumber_, stop_), result_))
            return result_;
        startedAt_ = port_.clock().NowMs();
        while (!AttemptEnds()) {
        }
        return result_;
    }

  private:
    // One attempt; true when the exchange ends with it.
    bool AttemptEnds() {
        ++result_.attempts;
        if (!PortReady()) return true;
        PrepareBuffer(policy_, reply_);
        sentAt_ = port_.clock().NowMs();
        port_.Send(frame_.data(), static_cast<int>(frame_.size()), policy_.byteDelayMs);
        switch (WaitAndRead(port_, policy_, waitMs_, reply_, stop_, &result_.bytesRead)) {
            case WaitOutcome::Done:
                break;
            case WaitOutcome::Stopped:
                result_.stopped = true;
                EndOwing(result_.bytesRead);
                return true;
            case WaitOutcome::HungUp:
                result_.hungUp = true;
                return true;
        }
        // The reply read may be the late answer to an earlier request, with this request's
        // own answer right behind it.
        const int quietMs = unanswered_.Live(port_.clock()) ? waitMs_ : kQuietLineMs;
        result_.whole = IsWholeReply(policy_, reply_, result_.bytesRead) &&
                        NothingFollows(port_, policy_, quietMs, stop_);
        if (port_.HungUp()) {
            result_.whole = false;
            result_.hungUp = true;
            return true;
        }
        if (result_.whole || Raised(endAfterAttempt_)) {
            result_.endedAfterAttempt = !result_.whole;
            EndOwing(result_.bytesRead);
            return true;
        }
        return !RepeatsAfterSettling();
    }

    bool PortReady() {
        switch (PreparePort(port_, policy_, portNumber_)) {
            case Prepared::Ready:
                return true;
            case Prepared::OpenFailed:
                result_.openFailed = true;
                result_.hungUp = port_.HungUp();
                return false;
            case Prepared::Lost:
                result_.hungUp = true;
                return false;
        }
        return false;
    }

    // After a failed attempt: settles the line; true when the next attempt follows. A request
    // that got no answer at all is asked again while attempts remain.
    bool RepeatsAfterSettling() {
        const Settle settle =
            SettleLine(port_, policy_, waitMs_, result_.bytesRead, unanswered_, stop_);
        const bool mayRepeat =
            MayRepeat(policy_, result_.attempts, waitMs_, startedAt_, port_.clock().NowMs());
        if (settle == Settle::InStep) {
            unanswered_ = {};  // the answers owed to earlier requests have come too
        } else if (settle == Settle::Unanswered && mayRepeat) {
            unanswered_.Add(sentAt_);
        } else if (EndedBySettle(settle, result_)) {
            if (!result_.hungUp) EndOwing(result_.bytesRead);
            return false;
        }
        const bool stopped = mayRepeat && !PausedForRepeat();
        if (!mayRepeat || stopped) {
            result_.stopped = stopped;
            EndOwing(policy_.readMax);  // this attempt's reply has settled
            return false;
        }
        waitMs_ += policy_.waitGrowthMs;
        return true;
    }

    // False when the stop flag ended the pause.
    bool PausedForRepeat() {
        if (policy_.closeBeforeRepeat) port_.Close();
        return policy_.pauseBetweenMs == 0 || PauseUnlessStopped(port_.clock(), policy_, stop_);
    }

    // The exchange ends: what may still come (the rest of the last reply, of which bytesRead
    // arrived, and the answers to requests that got none) stays owed to the port.
    void EndOwing(int bytesRead) { NoteOwedReply(port_, policy_, bytesRead, unanswered_, sentAt_); }

    CSerialPort& port_;
    const ExchangePolicy& policy_;
    const Bytes& frame_;
    uint8_t* reply_;
    int portNumber_;
    const std::atomic<bool>* stop_;
    const std::atomic<bool>* endAfterAttempt_;
    ExchangeResult result_;
    Unanswered unanswered_;
    int waitMs_;
    int64_t startedAt_ = 0;
    int64_t sentAt_ = 0;
};

}  // namespace

ExchangeResult RunExchange(CSerialPort& port, const ExchangePolicy& policy, const Bytes& frame,
                           uint8_t* reply, int portNumber, const std::atomic<bool>* stop,
                           const std::atomic<bool>* endAfterAttempt) {
    return ExchangeRun(port, policy, frame, reply, portNumber, stop, endAfterAttempt).Run();
}
