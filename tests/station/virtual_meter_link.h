#pragma once
// An in-process virtual meter (tests/support/simulated_meter.h) behind a handle, for tests that
// include the core's measurement headers, which the virtual meter's own cannot stand beside.

#include <memory>
#include <string>
#include <vector>

class MeterLink;
struct InProcessMeter;

class VirtualMeterLink {
  public:
    // ferrolog-meter's arguments.
    explicit VirtualMeterLink(const std::vector<std::string>& args);
    ~VirtualMeterLink();
    VirtualMeterLink(const VirtualMeterLink&) = delete;
    VirtualMeterLink& operator=(const VirtualMeterLink&) = delete;

    MeterLink& Link();
    static const char* Device();  // the path any in-process meter opens at

  private:
    std::unique_ptr<InProcessMeter> meter_;
};
