#pragma once
// The virtual meter's firmware: it acts on the frames it receives and says what goes back on the
// line. Time is passed in as the meter's uptime in milliseconds, so a test can drive it without
// waiting and the pseudo-terminal loop can drive it in real time.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "link/command_frame.h"
#include "sim/field_environment.h"
#include "sim/history_memory.h"
#include "sim/lcd_canvas.h"
#include "sim/meter_clock.h"
#include "sim/meter_commands.h"
#include "sim/meter_models.h"
#include "sim/meter_panel.h"
#include "sim/meter_screens.h"
#include "sim/rf_bands.h"

inline constexpr int kScreenshotSlots = 4;
inline constexpr int kFieldRecords = 60;
inline constexpr int kFieldRecordLength = 20;
inline constexpr int kFieldReplyLength = kFieldRecords * kFieldRecordLength + 1;  // 1201
inline constexpr int kShotInfoLength = 7;
inline constexpr uint32_t kSpiReadLimit = 4096;
inline constexpr uint8_t kTrailer = 0xAA;
inline constexpr uint8_t kRefused = 0x00;    // a SETDATETIME the clock cannot take
inline constexpr uint8_t kHeartbeat = 0x55;  // sent every second while heartbeats are on
inline constexpr int64_t kRestartSilentMs = 1500;
inline constexpr int64_t kStartScreenMs = 2000;
inline constexpr int64_t kToastMs = 2000;
inline constexpr int kDefaultAlarmTenths = 100;  // alarm at 10.0 mG

struct MeterSetup {
    const ModelSpec* model = &DefaultModel();
    std::string revision;     // empty: the model's own
    std::string versionText;  // empty: model name, "Re", revision
    const Scene* scene = &DefaultScene();
    uint64_t seed = 1;
    int band = 0;
    MeterTime clock;                  // the clock at startUptimeMs
    int64_t startUptimeMs = 600'000;  // the meter has been on for a while when the link opens
    uint32_t historyBytes = 64 * kSectorBytes;  // the log fills exactly this many bytes' sectors
    std::string historyImage;       // a memory image to serve instead of a generated log
    unsigned emptySlots = 1u << 3;  // bit n - 1 set: screenshot slot n holds nothing at start
    bool logging = false;
};

struct MeterReply {
    Bytes bytes;        // empty: nothing goes back
    int latencyMs = 0;  // the firmware's time to act before the first byte leaves
};

struct StoredScreenshot {
    bool stored = false;
    MeterTime taken;
    Bytes pixels;  // 1024 bytes, display memory layout
};

class VirtualMeter {
  public:
    explicit VirtualMeter(const MeterSetup& setup);

    // Loads the history image when one was given; false with a reason when it cannot be read.
    bool LoadHistory(std::string* error);

    // Acts on a frame received at uptime nowMs.
    MeterReply Handle(const ReceivedFrame& frame, int64_t nowMs);

    // Lets the meter's own time run up to nowMs (logging, heartbeats); returns what it sends
    // by itself meanwhile.
    Bytes Advance(int64_t nowMs);

    // The display as it is at nowMs.
    LcdCanvas Screen(int64_t nowMs) const;

    // Observers, for tests and the verbose log.
    MeterTime ClockNow(int64_t nowMs) const { return clock_.Now(nowMs); }
    const HistoryMemory& history() const { return history_; }
    const MeterPanel& panel() const { return panel_; }
    const StoredScreenshot& screenshot(int slot) const {
        return shots_[static_cast<size_t>(slot - 1)];
    }
    bool logging() const { return logging_; }
    bool poweredOn() const { return powered_; }
    bool echo() const { return echo_; }
    int bandMode() const { return band_; }
    float revision() const { return revisionValue_; }
    const ModelSpec& model() const { return *setup_.model; }
    std::string VersionReply() const;

    // The counts the sensors give for the field of this second of uptime: EF, X, Y, Z.
    std::array<int32_t, 4> CountsAt(int64_t second) const;

  private:
    void StoreEarlierScreenshots(unsigned emptySlots);
    int32_t CountNoise(int64_t second, int channel) const;
    MeterReply Act(const ReceivedFrame& frame, int64_t nowMs);
    std::optional<MeterReply> Measure(const ReceivedFrame& frame, int64_t nowMs);
    std::optional<MeterReply> Store(const ReceivedFrame& frame);
    std::optional<MeterReply> Control(const ReceivedFrame& frame, int64_t nowMs);
    MeterReply Report(const ReceivedFrame& frame, int64_t nowMs) const;
    MeterReply SweepText(const ReceivedFrame& frame);
    Bytes FieldBlock(int64_t nowMs) const;
    Bytes Sweep();
    Bytes SetClock(const Bytes& params, int64_t nowMs);
    Bytes ShotInfo(int slot) const;
    Bytes ShotPixels(int slot) const;
    Bytes SpiRead(const Bytes& params) const;
    Bytes SpiProgram(const Bytes& params);
    Bytes SpiErase(const Bytes& params);
    Bytes Config() const;
    Bytes WriteConfig(const Bytes& params, int64_t nowMs);
    MeterReply Text(const std::string& text, const ReceivedFrame& frame) const;
    MeterReply Line(const std::string& text, const ReceivedFrame& frame) const;

    void PressKey(int key, bool hold, int64_t nowMs);
    void Apply(const PanelEvent& event, int64_t nowMs);
    void SwitchPower(bool on, int64_t nowMs);
    void Restart(int64_t nowMs);
    void CaptureScreenshot(int64_t nowMs);
    void FactoryReset();
    void ShowToast(const std::string& text, int64_t nowMs);
    void LogSecond(int64_t second);

    PanelData DataAt(int64_t second, const MeterTime& now) const;
    int64_t DisplaySecond(int64_t nowMs) const;
    bool Restarting(int64_t nowMs) const { return nowMs < silentUntilMs_; }
    double BatteryVolts(int64_t second) const;
    double TemperatureAt(int64_t second) const;
    Bytes GyroAt(int64_t second) const;

    MeterSetup setup_;
    std::string revisionText_;
    float revisionValue_;
    FieldEnvironment environment_;
    MeterClock clock_;
    HistoryMemory history_;
    MeterPanel panel_;
    std::array<StoredScreenshot, kScreenshotSlots> shots_;
    std::string serial_;

    int band_;
    bool logging_;
    bool alarm_ = false;
    bool speaker_ = true;
    bool echo_ = false;
    bool heartbeat_ = false;
    bool powered_ = true;
    std::optional<int64_t> heldSecond_;
    int alarmTenths_ = kDefaultAlarmTenths;  // EMF alarm level, tenths of mG
    uint64_t sweeps_ = 0;
    int64_t sessionReadings_ = 0;
    int64_t lastSecond_;
    int64_t silentUntilMs_ = 0;
    int64_t startScreenUntilMs_ = 0;
    std::string toast_;
    int64_t toastUntilMs_ = 0;
};

// The model's revision text as a number, as the program reads it.
float RevisionValue(const std::string& revision);
