#include "link/meter_link.h"

MeterLink::MeterLink(serial_backend::Backend& backend, Clock& clock) : port(backend, clock) {
    port.OnHangUp([this] { NoteHangUp(); });
}

void MeterLink::NoteHangUp() {
    DeviceConnected = false;
    LinkLost = true;
}

bool MeterLink::PortFree() const {
    return Holder() == PortHolder::Nobody;
}

bool MeterLink::HeldForAction() const {
    std::lock_guard lock(holderMutex_);
    return holder_ == PortHolder::Exchange || holder_ == PortHolder::Dialog || waiting_ > 0;
}

PortHolder MeterLink::Holder() const {
    std::lock_guard lock(holderMutex_);
    return holder_;
}

bool MeterLink::TryTakePort(PortHolder who) {
    std::lock_guard lock(holderMutex_);
    if (holder_ != PortHolder::Nobody) return false;
    holder_ = who;
    return true;
}

void MeterLink::TakePort(PortHolder who) {
    std::unique_lock lock(holderMutex_);
    ++waiting_;
    portGivenBack_.wait(lock, [this] { return holder_ == PortHolder::Nobody; });
    --waiting_;
    holder_ = who;
}

void MeterLink::GivePortBack() {
    {
        std::lock_guard lock(holderMutex_);
        holder_ = PortHolder::Nobody;
    }
    portGivenBack_.notify_all();
}

bool MeterLink::MirrorAllowed() const {
    return DeviceConnected && !LinkLost && !LinkSuspended && !StopScreenPoll && !MirrorPaused;
}
