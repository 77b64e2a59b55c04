#pragma once
// Which meter is on which port. IdentifyMeter (a port picked by hand) and ScanForMeter (COM1
// to COM32 in turn) ask "<GETVER>>" and classify the text that comes back; both leave the
// link's identification state for the rest of the program and its port open on success.
// The visible effects go through a DiscoveryView so the window and the command-line tool
// show them their own way.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "link/meter_link.h"
#include "link/port_failure.h"

// Model codes.
enum MeterModel : int {
    kModelNone = 0,
    kModelZtx420 = 1,
    kModelZtx420Plus = 2,
    kModelZtx430 = 3,
    kModelZtx440 = 4,  // also a "VXQ" reply
    kModelZtx8800 = 5,
    kModelTkl = 6,
};

inline constexpr int kIdentifyReplyLength = 20;  // only the first 20 bytes are read
inline constexpr int kIdentifyBufferSize = 32;

inline constexpr const char* kComportOpenError = "Comport open error";
inline constexpr const char* kDeviceNotFound = "Device not found.";
// The screenshot, history and terminal commands' texts when no meter is connected, and when
// the connected model lacks the feature.
inline constexpr const char* kComportError = "Comport Error";
inline constexpr const char* kOnlyWithZtx440 = "Only available with ZTX-440.";
// Said when the meter's device went away during or between exchanges.
inline constexpr const char* kMeterDisconnected = "The meter was disconnected.";

enum class ClassifyOrder { Identify, Scan };

// First model token found in the reply, tested in the path's own order; 0 when none.
int ClassifyReply(const uint8_t* reply, int length, ClassifyOrder order);

// True when any model token is in the reply (the identification reply is whole then).
bool HasModelToken(const uint8_t* reply, int length);

// The reply's bytes up to (not including) its first "R", at most 20.
std::string ParseMeterName(const uint8_t* reply32);

// The decimal number two bytes after the first "R" in the first 20 bytes; 0 when no "R".
float ParseFirmwareRevision(const uint8_t* reply32);

// "Device:\n\n%sRe %.2lf"
std::string DeviceMessage(const std::string& name, double revision);

// Display name of a model code ("ZTX440"), "none" for 0.
const char* ModelName(int model);

class DiscoveryView {
  public:
    virtual ~DiscoveryView() = default;
    virtual void SelectPortIndex(int index) = 0;               // the selector shows index
    virtual void SetAutoCaption(const std::string& text) = 0;  // "Scanning.." / "Auto"
    virtual void HideScanningPanel() = 0;
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void Sleep(int milliseconds);  // the window keeps painting meanwhile
};

// The port picked in the selector (index 0 = COM1). True when a meter answered.
bool IdentifyMeter(int selectorIndex, MeterLink& link, DiscoveryView& view);

// Why one port of a scan could not be used.
struct ScanProblem {
    int com = 0;
    std::string path;
    PortFailure failure = PortFailure::None;  // None when it opened but no meter answered
    std::string reason;  // the system's words ("Permission denied"), or "no meter answered"
};

struct ScanReport {
    std::vector<ScanProblem> problems;  // in COM order; unmapped numbers are not ports

    // True when some port could not be opened at all (the user may be able to change that).
    bool AnyOpenFailed() const;
    // One line per port: "COM1 /dev/ttyS0: Permission denied".
    std::vector<std::string> Lines() const;
};

inline constexpr const char* kNoMeterAnswered = "no meter answered";

// COM1..COM32 in order until one answers. True when a meter was found. When report is given
// it is filled with every mapped port that could not be used and why. stop, when given, ends
// the scan within a millisecond of a port's wait and between ports; a stopped scan shows no
// message and leaves the port closed.
bool ScanForMeter(MeterLink& link, DiscoveryView& view, ScanReport* report = nullptr,
                  const std::atomic<bool>* stop = nullptr);

// After LinkLost: when the lost device is present again at the path it had (PortNumber still
// mapped there; nothing is opened before the path exists), identifies it quietly with one
// "<GETVER>>". True when it answered (LinkLost cleared, DeviceConnected, DeviceModel and
// FirmwareRevision set, port open). Shows no message. Callers call it at most once a second.
bool ReidentifyLostMeter(MeterLink& link);
