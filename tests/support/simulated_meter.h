#pragma once
// The virtual meter's firmware in the test's own process, behind a ScriptedBackend: the same
// arguments as ferrolog-meter (--fast, --fault, --history-file, --log, ...), the same replies
// and faults, on the virtual clock, so a meter that is late or silent costs no real time.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "link/meter_link.h"
#include "sim/fault_plan.h"
#include "sim/meter_options.h"
#include "sim/paced_output.h"
#include "sim/virtual_meter.h"
#include "tests/support/scripted_backend.h"

class SimulatedMeter {
  public:
    // Plays the meter on line from now on; Ok() says whether the arguments were good.
    SimulatedMeter(ScriptedBackend& line, const std::vector<std::string>& args);
    ~SimulatedMeter();
    SimulatedMeter(const SimulatedMeter&) = delete;
    SimulatedMeter& operator=(const SimulatedMeter&) = delete;

    bool Ok() const { return error_.empty(); }
    const std::string& Error() const { return error_; }

  private:
    void Hear(uint8_t byte, int64_t atMs);
    int64_t UptimeMs(int64_t atMs) const;
    void Send(const Bytes& bytes, int64_t readyAtMs);

    ScriptedBackend& line_;
    MeterOptions options_;
    std::string error_;
    std::unique_ptr<VirtualMeter> meter_;
    FaultPlan faults_;
    FrameReader reader_;
    std::unique_ptr<PacedOutput> output_;
    std::FILE* log_ = nullptr;
    int64_t originMs_;
    int frames_ = 0;
    bool unplugged_ = false;
};

// A link to the virtual meter run in process on a clock of its own: a fresh line, meter and link
// for each meter a test starts, as a fresh ferrolog-meter gives a fresh pseudo-terminal.
struct InProcessMeter {
    explicit InProcessMeter(const std::vector<std::string>& args) : meter(line, args) {}

    VirtualClock clock;
    ScriptedBackend line{clock};
    SimulatedMeter meter;
    MeterLink link{line, clock};
};

// What a port's table maps a COM number to for an in-process meter (any path opens it).
inline constexpr const char* kInProcessDevice = "/dev/in-process-meter";
