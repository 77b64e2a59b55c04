#include "link/clock_sync.h"

#include "link/command_exchange.h"
#include "link/link_timing.h"
#include "link/port_guard.h"

namespace {

constexpr int kTmYearOffset = 1900;
constexpr int kMeterYearBase = 2000;

bool ModelKeepsTime(const MeterLink& link) {
    return link.DeviceModel.load() >= kClockSyncLowestModel;
}

// One attempt with the clock row of the exchange table: its acceptance is read once the whole
// wait has passed, so a late one counts as none.
bool ExchangeClockFrame(MeterLink& link, const std::tm& now) {
    CSerialPort& port = link.port;
    port.Purge();
    if (!ModelKeepsTime(link) || !port.IsOpen()) return false;
    uint8_t reply[kClockPolicy.readMax] = {};
    return RunExchange(port, kClockPolicy, ClockFrame(now), reply, port.OpenPortNumber()).whole;
}

}  // namespace

Bytes ClockFrame(const std::tm& local) {
    const Bytes parameters = {
        static_cast<uint8_t>(local.tm_year + kTmYearOffset - kMeterYearBase),
        static_cast<uint8_t>(local.tm_mon + 1),
        static_cast<uint8_t>(local.tm_mday),
        static_cast<uint8_t>(local.tm_hour),
        static_cast<uint8_t>(local.tm_min),
        static_cast<uint8_t>(local.tm_sec),
    };
    return BuildFrame(kClockCommand, parameters);
}

bool SyncMeterClock(MeterLink& link, const LocalTimeSource& localTime) {
    PortGuard guard(link, PortHolder::Dialog);
    link.port.clock().SleepMs(kClockSyncPauseMs);
    const std::tm now = localTime();
    return ExchangeClockFrame(link, now);
}

const char* TimeSyncMessage(bool synced) {
    return synced ? kTimeSyncedMessage : kTimeSyncFailedMessage;
}
