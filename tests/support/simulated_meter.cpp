#include "tests/support/simulated_meter.h"

#include <climits>

namespace {
constexpr int64_t kUsPerMs = 1000;
// As the pseudo-terminal loop: the line stays up a moment after a cable is pulled mid-reply.
constexpr int64_t kUnplugLingerMs = 50;
}  // namespace

SimulatedMeter::SimulatedMeter(ScriptedBackend& line, const std::vector<std::string>& args)
    : line_(line), originMs_(line.clock().NowMs()) {
    if (!ParseMeterOptions(args, &options_, &error_)) return;
    options_.setup.clock = options_.clock.value_or(LocalMeterTime(std::time(nullptr)));
    meter_ = std::make_unique<VirtualMeter>(options_.setup);
    if (!meter_->LoadHistory(&error_)) return;
    for (const FaultRule& rule : options_.faults)
        faults_.Add(rule);
    output_ = std::make_unique<PacedOutput>(options_.fast ? 0 : kLineBytesPerSecond);
    if (!options_.logPath.empty()) log_ = std::fopen(options_.logPath.c_str(), "a");
    line_.Listen([this](uint8_t byte, int64_t atMs) { Hear(byte, atMs); });
}

SimulatedMeter::~SimulatedMeter() {
    line_.Listen(nullptr);
    if (log_) std::fclose(log_);
}

int64_t SimulatedMeter::UptimeMs(int64_t atMs) const {
    return options_.setup.startUptimeMs + (atMs - originMs_);
}

// The reply leaves once ready, at the line's pace, behind what is still on its way.
void SimulatedMeter::Send(const Bytes& bytes, int64_t readyAtMs) {
    output_->Queue(bytes, readyAtMs * kUsPerMs);
    while (!output_->Idle()) {
        const int64_t dueUs = output_->NextDueUs();
        line_.Arrive(output_->TakeDue(dueUs), (dueUs + kUsPerMs - 1) / kUsPerMs);
    }
}

void SimulatedMeter::Hear(uint8_t byte, int64_t atMs) {
    if (unplugged_) return;
    const int64_t uptime = UptimeMs(atMs);
    Send(meter_->Advance(uptime), atMs);
    for (const ReceivedFrame& frame : reader_.Feed(&byte, 1, uptime)) {
        if (log_) {
            std::fprintf(log_, "%s\n", HexString(frame.raw).c_str());
            std::fflush(log_);
        }
        const FaultRule* fault = faults_.Take(frame);
        MeterReply reply;
        if (!fault || fault->kind != FaultKind::Silent) reply = meter_->Handle(frame, uptime);
        if (options_.fast) reply.latencyMs = 0;
        if (options_.latencyMs >= 0) reply.latencyMs = options_.latencyMs;
        if (fault) ApplyFault(*fault, reply);
        const int64_t readyAtMs = atMs + reply.latencyMs;
        if (++frames_ == options_.unplugAfter) {
            reply.bytes.resize(reply.bytes.size() / 2);
            unplugged_ = true;
            const double lineMs = options_.fast ? 0 : 1000.0 / kLineBytesPerSecond;
            line_.HangUpAt(readyAtMs + static_cast<int64_t>(reply.bytes.size() * lineMs) +
                           kUnplugLingerMs);
        }
        Send(reply.bytes, readyAtMs);
    }
}
