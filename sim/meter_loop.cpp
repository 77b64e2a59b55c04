#include "sim/meter_loop.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

#include "sim/paced_output.h"

namespace {

constexpr int64_t kUsPerMs = 1000;
constexpr int64_t kPortWatchUs = 1'000'000;
constexpr int kReadChunk = 4096;
constexpr int64_t kUnplugLingerUs = 50'000;

double LineByteUs(bool paced) {
    return paced ? 1e6 / kLineBytesPerSecond : 0;
}

int64_t SteadyUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// A stalled line drops what it cannot take, as a UART overrun would.
void Transmit(int fd, const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        pollfd pfd{fd, POLLOUT, 0};
        if (n < 0 && errno == EAGAIN && poll(&pfd, 1, 50) > 0) continue;
        return;
    }
}

void Describe(const ReceivedFrame& frame, const FaultRule* fault, const MeterReply& reply) {
    std::fprintf(stderr, "meter: <%s> %zu bytes%s -> %zu bytes after %d ms\n", frame.name.c_str(),
                 frame.raw.size(), fault ? " (fault)" : "", reply.bytes.size(), reply.latencyMs);
}

class Loop {
  public:
    Loop(VirtualMeter& meter, FaultPlan& faults, PseudoTerminal& line, const LoopSettings& settings)
        : meter_(meter),
          faults_(faults),
          line_(line),
          settings_(settings),
          output_(settings.paced ? kLineBytesPerSecond : 0),
          originUs_(SteadyUs()) {}

    LoopEnd Run(const volatile std::sig_atomic_t& stop) {
        int64_t nextWatchUs = originUs_ + kPortWatchUs;
        while (!stop) {
            const int64_t nowUs = SteadyUs();
            if (!unplugging_) output_.Queue(meter_.Advance(UptimeMs(nowUs)), nowUs);
            reader_.Expire(UptimeMs(nowUs));
            Transmit(line_.fd(), output_.TakeDue(nowUs));
            if (unplugging_ && output_.Idle() && nowUs >= unplugAtUs_) return LoopEnd::Unplugged;
            if (nowUs >= nextWatchUs) {
                line_.ReleaseAbandonedPort();
                nextWatchUs = nowUs + kPortWatchUs;
            }
            const int64_t wakeUs = std::min({output_.NextDueUs(), NextSecondUs(nowUs), nextWatchUs,
                                             StaleUs(), unplugging_ ? unplugAtUs_ : INT64_MAX});
            if (!WaitForInput(std::max<int64_t>(wakeUs - nowUs, 0))) return LoopEnd::LineFailed;
        }
        return LoopEnd::Stopped;
    }

  private:
    int64_t UptimeMs(int64_t us) const {
        return settings_.startUptimeMs + (us - originUs_) / kUsPerMs;
    }

    int64_t NextSecondUs(int64_t nowUs) const {
        const int64_t ms = UptimeMs(nowUs);
        return nowUs + (1000 - ms % 1000) * kUsPerMs;
    }

    int64_t StaleUs() const {
        const int64_t staleMs = reader_.StaleAtMs();
        if (staleMs == INT64_MAX) return INT64_MAX;
        return originUs_ + (staleMs - settings_.startUptimeMs) * kUsPerMs;
    }

    bool WaitForInput(int64_t timeoutUs) {
        pollfd pfd{line_.fd(), POLLIN, 0};
        timespec timeout{static_cast<time_t>(timeoutUs / 1'000'000),
                         static_cast<long>(timeoutUs % 1'000'000 * 1000)};
        int r = ppoll(&pfd, 1, &timeout, nullptr);
        if (r < 0) return errno == EINTR;
        if (r == 0 || !(pfd.revents & POLLIN)) return true;
        uint8_t buffer[kReadChunk];
        ssize_t n = read(line_.fd(), buffer, sizeof buffer);
        if (n < 0) return errno == EINTR || errno == EAGAIN;
        const int64_t nowUs = SteadyUs();
        for (const ReceivedFrame& frame :
             reader_.Feed(buffer, static_cast<size_t>(n), UptimeMs(nowUs)))
            Act(frame, nowUs);
        return true;
    }

    void Act(const ReceivedFrame& frame, int64_t nowUs) {
        if (unplugging_) return;
        Record(frame);
        const FaultRule* fault = faults_.Take(frame);
        MeterReply reply;
        if (!fault || fault->kind != FaultKind::Silent)
            reply = meter_.Handle(frame, UptimeMs(nowUs));
        if (!settings_.paced) reply.latencyMs = 0;
        if (settings_.latencyMs >= 0) reply.latencyMs = settings_.latencyMs;
        if (fault) ApplyFault(*fault, reply);
        if (settings_.verbose) Describe(frame, fault, reply);
        const int64_t readyUs = nowUs + reply.latencyMs * kUsPerMs;
        // Pulled out halfway through this reply; the line stays up a moment longer, so a
        // reader sees the half that came before the hang-up (which discards what is unread).
        if (++frames_ == settings_.unplugAfter) {
            reply.bytes.resize(reply.bytes.size() / 2);
            unplugging_ = true;
            unplugAtUs_ = readyUs +
                          static_cast<int64_t>(reply.bytes.size() * LineByteUs(settings_.paced)) +
                          kUnplugLingerUs;
        }
        output_.Queue(reply.bytes, readyUs);
    }

    void Record(const ReceivedFrame& frame) const {
        if (settings_.frameLog) {
            std::fprintf(settings_.frameLog, "%s\n", HexString(frame.raw).c_str());
            std::fflush(settings_.frameLog);
        }
        if (settings_.timesLog) {
            std::fprintf(settings_.timesLog, "%lld\n",
                         static_cast<long long>(frame.lastByteMs - frame.firstByteMs));
            std::fflush(settings_.timesLog);
        }
    }

    VirtualMeter& meter_;
    FaultPlan& faults_;
    PseudoTerminal& line_;
    const LoopSettings& settings_;
    FrameReader reader_;
    PacedOutput output_;
    int64_t originUs_;
    int frames_ = 0;
    bool unplugging_ = false;
    int64_t unplugAtUs_ = 0;
};

}  // namespace

LoopEnd RunMeterLoop(VirtualMeter& meter, FaultPlan& faults, PseudoTerminal& line,
                     const LoopSettings& settings, const volatile std::sig_atomic_t& stop) {
    Loop loop(meter, faults, line, settings);
    return loop.Run(stop);
}
