#pragma once
// The monitoring station: several meters, each behind a link of its own and a worker thread of
// its own, identified and then fetched on a schedule. What they read is kept in memory, so the
// web page, the metrics and MQTT all show the same readings and none invents one: a meter that
// is down, or whose last reading is old, has no current value.
//
// Threads: each meter's worker is the only one that talks to its link; every other thread
// reads copies (Snapshot, Rows) under the meter's lock. Listeners run on a meter's worker and
// must only hand the event on (queue it, wake a thread) and return.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/meter_link.h"
#include "measure/measurement.h"
#include "record/field_recorder.h"

struct StationOptions {
    int64_t everyMs = 1000;           // a field fetch (and a screen frame) this often
    int64_t spectrumEveryMs = 10000;  // a sweep this often; 0: never (and never on models without)
    std::string recordDir;            // one CSV per meter per day here; empty: no recording
    int64_t keepRowsSeconds = 24 * 3600;  // rows kept in memory, at one a second
};

// The last accepted sweep. time: seconds since the epoch (UTC).
struct StationSpectrum {
    int64_t time = 0;
    uint32_t startHz = 0;
    uint32_t spacingHz = 0;
    SpectrumLevels dbm{};
};

using ScreenPicture = std::array<uint8_t, 1024>;  // the 128 x 64 display, as GETSCREEN sends it

// One meter as the station knows it now: a copy, safe to keep.
struct MeterSnapshot {
    std::string name;     // the station's name for it (--meter NAME=PATH)
    std::string path;     // its device
    std::string model;    // ModelName of the identified model; empty before identification
    double firmware = 0;  // its firmware revision; 0 before identification
    // Identified, and its last identification or field fetch answered (a screen frame or a
    // sweep lost alone leaves it up; a device gone away takes it down at once).
    bool up = false;
    bool hasSpectrum = false;                 // the model sweeps RF
    std::optional<FieldRow> reading;          // the newest row, only while fresh (see below)
    std::optional<StationSpectrum> spectrum;  // only while fresh
    std::optional<ScreenPicture> screen;
    int64_t lastReadingTime = 0;  // seconds since the epoch of the newest row ever; 0: none
    // Exchanges by result: "ok", "no_reply" (none, or not whole, within the bound), "error"
    // (the port would not open, or the device went away).
    uint64_t exchangesOk = 0;
    uint64_t exchangesNoReply = 0;
    uint64_t exchangesError = 0;
    std::string recordingError;  // why the last rows could not be recorded; empty while they were
};

// A reading or sweep is fresh while no more than three fetch periods (at least 5 s) old, and
// only while the meter is up.

enum class StationKey { Back, Down, Up, Select, HoldDown, HoldUp, HoldSelect };
// "back", "down", "up", "select"; with hold, "down", "up", "select". False for anything else.
bool ParseStationKey(const std::string& word, bool hold, StationKey* key);

enum class StationEventKind { Reading, Spectrum, Up, Down };
struct StationEvent {
    StationEventKind kind;
    std::string meter;
};
using StationListener = std::function<void(const StationEvent&)>;

class Station {
  public:
    explicit Station(StationOptions options);
    ~Station();  // stops and joins every worker
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Adds a meter before Start. The link outlives the station; its port table must map a COM
    // number to path, or path is mapped onto the link's own table.
    void AddMeter(const std::string& name, const std::string& path, MeterLink& link);

    void Start();
    // Ends every worker within about a second, the recordings flushed and closed.
    void Stop();

    std::vector<std::string> Names() const;
    std::optional<MeterSnapshot> Snapshot(const std::string& name) const;
    // The rows kept in memory from sinceTime (seconds since the epoch) on, oldest first: one a
    // second, gaps left as gaps.
    std::vector<FieldRow> Rows(const std::string& name, int64_t sinceTime) const;

    enum class KeyResult { Sent, UnknownMeter, MeterDown, Failed };
    // Sends the key to the meter through its worker and waits (at most a few seconds) for it.
    KeyResult PressKey(const std::string& name, StationKey key);

    // Listeners run on the meter's worker, under the station's listener lock; see the top of
    // this file. Returns an id to remove it. Unsubscribe waits for a call under way, so once it
    // returns the listener is never called again; it must not be called from a listener, nor
    // while holding a lock a listener takes.
    int Subscribe(StationListener listener);
    void Unsubscribe(int id);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
