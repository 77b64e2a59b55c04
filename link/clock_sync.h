#pragma once
// "Sync Time": sets the meter's real-time clock to the computer's local time with one
// SETDATETIME frame and reports the outcome. Runs on the caller's thread (the window's
// user-interface thread) and uses the port as identification left it: never opens or closes it.

#include <ctime>
#include <functional>
#include <string>

#include "link/command_frame.h"
#include "link/local_time.h"
#include "link/meter_identity.h"
#include "link/meter_link.h"

inline constexpr const char* kClockCommand = "SETDATETIME";
inline constexpr size_t kClockFrameLength = 20;
inline constexpr int kClockSyncLowestModel = kModelZtx430;  // older models have no clock command
// The pause before the clock frame. The port is held already, so no mirror run is under way; the
// pause stays because the sync has always taken this long and its users see it.
inline constexpr int kClockSyncPauseMs = 1000;
inline constexpr const char* kTimeSyncedMessage = "Time Synced Successfully!";
inline constexpr const char* kTimeSyncFailedMessage = "Time Sync Failed! ";  // trailing blank

// "<SETDATETIME" + year - 2000, month 1-12, day, hour, minute, second as plain binary bytes
// + ">>": 20 bytes. Years before 2000 or after 2255 wrap; the meter counts 2000-2099.
Bytes ClockFrame(const std::tm& local);

using LocalTimeSource = std::function<std::tm()>;

// Holds the link's port as a dialog would (a mirror run under way ends first) and pauses
// 1000 ms, takes the local time once, purges, and (model 3 and above, port open) runs the
// clock row of the exchange table: the frame at 15 ms per byte, then 500 ms of wait and one
// byte read: success when it is 0xAA (what follows it is read away). Gives the port back on
// every path. Blocks for about 1.8 s, and up to half a second more when no answer comes (the
// exchange lets a late one arrive). Shows nothing: the caller says TimeSyncMessage.
bool SyncMeterClock(MeterLink& link, const LocalTimeSource& localTime = CurrentLocalTime);

// "Time Synced Successfully!" or "Time Sync Failed! ".
const char* TimeSyncMessage(bool synced);
