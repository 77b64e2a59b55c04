#include "link/clock_sync.h"

#include "link/command_exchange.h"
#include "link/link_flags.h"
#include "link/link_timing.h"
#include "link/message_seam.h"

namespace {

constexpr int kTmYearOffset = 1900;
constexpr int kMeterYearBase = 2000;

// LinkSuspended is held for the whole sync and let go however it ends.
class LinkSuspension {
  public:
    LinkSuspension() { LinkSuspended = true; }
    ~LinkSuspension() { LinkSuspended = false; }
    LinkSuspension(const LinkSuspension&) = delete;
    LinkSuspension& operator=(const LinkSuspension&) = delete;
};

bool ModelKeepsTime() {
    return DeviceModel.load() >= kClockSyncLowestModel;
}

// One attempt with the clock row of the exchange table: its acceptance is read once the whole
// wait has passed, so a late one counts as none.
bool ExchangeClockFrame(CSerialPort& port, const std::tm& now) {
    port.Purge();
    if (!ModelKeepsTime() || !port.IsOpen()) return false;
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

bool SyncMeterClock(CSerialPort& port, const LocalTimeSource& localTime) {
    LinkSuspension suspension;
    port.clock().SleepMs(kScreenPollSettleMs);
    const std::tm now = localTime();
    const bool synced = ExchangeClockFrame(port, now);
    ShowMessage(synced ? kTimeSyncedMessage : kTimeSyncFailedMessage);
    return synced;
}

void SyncTimeCommand() {
    SyncMeterClock(MeterPort);
}
