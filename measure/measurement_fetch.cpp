#include "measure/measurement_fetch.h"

#include <algorithm>
#include <ctime>
#include <optional>

#include "link/command_exchange.h"
#include "link/port_guard.h"
#include "measure/auto_save.h"
#include "measure/measurement.h"
#include "measure/spectrum.h"

namespace {

bool Stopping(const std::atomic<bool>* stop) {
    return stop && *stop;
}

void AutoSave(bool autoSave, const Measurement& reading, int threshold) {
    if (autoSave)
        AutoSaveMeasurement(true, reading.kind, reading.bytes, threshold, std::time(nullptr));
}

}  // namespace

FetchOutcome FetchFieldBlock(MeterLink& link, int portNumber, Measurement& reading,
                             const std::atomic<bool>* stop, bool autoSave) {
    reading.kind = kKindField;
    ExchangeResult result;
    {
        PortGuard guard(link);
        if (Stopping(stop)) return FetchOutcome::Stopped;
        // The buffer is zeroed before each attempt, so a short reply never passes for a whole
        // one on the strength of an older reply's trailer.
        result = RunExchange(link.port, kFieldPolicy, BuildFrame("GETEMFDATA"),
                             reading.bytes.data(), portNumber, stop);
    }
    if (result.hungUp) return FetchOutcome::Disconnected;
    if (result.openFailed) return FetchOutcome::OpenFailed;
    if (result.stopped) return FetchOutcome::Stopped;
    if (!result.whole) return FetchOutcome::NoWholeReply;
    DecodeMeasurement(reading, link.FirmwareRevision);
    AutoSave(autoSave, reading, kFloorDbm);  // a field file's name has no threshold
    return FetchOutcome::Accepted;
}

static_assert(kSpectrumPolicy.attempts == kSpectrumSweeps, "the sweep row allows a fetch's sweeps");

FetchOutcome FetchSpectrumSweeps(MeterLink& link, int portNumber, int threshold,
                                 Measurement& reading, const SpectrumFetchHooks& hooks, int* sweeps,
                                 const std::atomic<bool>* stop, bool autoSave) {
    reading.kind = kKindSpectrum;
    // Held for the whole loop, but for the gaps between sweeps that the hooks ask for.
    std::optional<PortGuard> guard;
    guard.emplace(link);
    const Bytes frame = BuildFrame("GETBANDDATAHEX");
    // A sweep lands in scratch first: a reply that is not whole never reaches the record.
    MeasurementBytes reply;
    int peak = kFloorDbm;
    int made = 0;
    FetchOutcome outcome = FetchOutcome::NotFound;
    while (made < kSpectrumSweeps) {
        if (made > 0 && hooks.betweenSweeps && !Stopping(stop)) {
            guard.reset();
            hooks.betweenSweeps();
            guard.emplace(link);
        }
        if (Stopping(stop)) {
            outcome = FetchOutcome::Stopped;
            break;
        }
        if (hooks.beforeSweep) hooks.beforeSweep();
        reply = reading.bytes;
        // A sweep that is not whole is asked again within the exchange, so that a missed or
        // late reply is stepped over by its rules; every request counts as one of the sweeps.
        ExchangePolicy sweepsLeft = kSpectrumPolicy;
        sweepsLeft.attempts = kSpectrumSweeps - made;
        ExchangeResult result =
            RunExchange(link.port, sweepsLeft, frame, reply.data(), portNumber, stop);
        if (result.hungUp) {
            outcome = FetchOutcome::Disconnected;
            break;
        }
        if (result.openFailed) {
            outcome = FetchOutcome::OpenFailed;
            break;
        }
        if (result.stopped) {
            outcome = FetchOutcome::Stopped;
            break;
        }
        made += result.attempts;
        if (!result.whole) continue;
        reading.bytes = reply;
        DecodeSpectrumReply(reading.bytes, reading.spectrum);
        peak = std::max(peak, SpectrumPeak(reading.spectrum));
        if (peak >= threshold) {
            outcome = FetchOutcome::Accepted;
            break;
        }
    }
    if (sweeps) *sweeps = made;
    if (outcome == FetchOutcome::Accepted) AutoSave(autoSave, reading, threshold);
    return outcome;
}
