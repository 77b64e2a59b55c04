#pragma once
// The two fetches without a window: a field block ("<GETEMFDATA>>") and a spectrum
// ("<GETBANDDATAHEX>>" until a sweep reaches the search threshold). The graph window and the
// command-line tool both run them; what the user sees in between goes through the hooks.
// Both take the port with a PortGuard and give it back before they return (the sweeps also
// between sweeps, when the hooks ask for it).

#include <atomic>
#include <functional>
#include <string>

#include "link/meter_link.h"
#include "measure/measurement.h"

enum class FetchOutcome {
    Accepted,      // decoded into the caller's reading (and auto-saved when asked)
    OpenFailed,    // the port could not be opened: nothing else changed
    NoWholeReply,  // field block: no whole reply within the bound
    NotFound,      // spectrum: no sweep reached the threshold in 11 sweeps
    Disconnected,  // the meter's device went away (LinkLost): nothing decoded
    Stopped,       // the stop flag ended it: nothing decoded
};

// "dBm Not Found" and the field fetch's plain word when the meter never sent a whole block.
inline constexpr const char* kDbmNotFound = "dBm Not Found";
inline constexpr const char* kNoFieldReply = "The meter sent no complete field reading.";
inline constexpr const char* kNoSpectrumReply = "The meter sent no complete spectrum.";
inline constexpr int kSpectrumSweeps = 11;

struct SpectrumFetchHooks {
    std::function<void()> beforeSweep;  // the window redraws the graph before each sweep
    // Called between two sweeps with the port given back, so that the window's screen mirror
    // can make one run; the next sweep takes the port again once it returns.
    std::function<void()> betweenSweeps;
};

// One field fetch on COM portNumber into `reading` (its kind becomes kKindField), converted
// with the curves of the link's firmware revision. Repeats a broken reply for at most 3 s. Only a
// whole reply is decoded, and auto-saved when autoSave is true (a recording is its own file).
// Nothing but `reading` changes: two callers with readings of their own never see each
// other's.
FetchOutcome FetchFieldBlock(MeterLink& link, int portNumber, Measurement& reading,
                             const std::atomic<bool>* stop = nullptr, bool autoSave = false);

// Up to 11 sweeps into `reading` (its kind becomes kKindSpectrum), each with a fresh port,
// until the strongest bin reaches `threshold`. Only whole replies are decoded; a sweep that
// is not whole counts as made but leaves the reading as the last whole one left it. sweeps,
// when given, receives the number made. `stop`, when given, is tested before every sweep and
// within each sweep's wait. An accepted sweep is auto-saved, named after `threshold`, when
// autoSave is true. The hooks run while the worker waits and may read `reading`.
FetchOutcome FetchSpectrumSweeps(MeterLink& link, int portNumber, int threshold,
                                 Measurement& reading, const SpectrumFetchHooks& hooks = {},
                                 int* sweeps = nullptr, const std::atomic<bool>* stop = nullptr,
                                 bool autoSave = false);
