#include "tests/station/virtual_meter_link.h"

#include "tests/support/simulated_meter.h"

VirtualMeterLink::VirtualMeterLink(const std::vector<std::string>& args)
    : meter_(std::make_unique<InProcessMeter>(args)) {}

VirtualMeterLink::~VirtualMeterLink() = default;

MeterLink& VirtualMeterLink::Link() {
    return meter_->link;
}

const char* VirtualMeterLink::Device() {
    return kInProcessDevice;
}
