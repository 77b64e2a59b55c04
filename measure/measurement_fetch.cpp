#include "measure/measurement_fetch.h"

#include <algorithm>
#include <array>
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

}  // namespace

FetchOutcome FetchFieldBlock(MeterLink& link, int portNumber, const std::atomic<bool>* stop,
                             bool autoSave) {
    MeasurementKind = kKindField;
    ExchangeResult result;
    {
        PortGuard guard(link);
        if (Stopping(stop)) return FetchOutcome::Stopped;
        // The buffer is zeroed before each attempt, so a short reply never passes for a whole
        // one on the strength of an older reply's trailer.
        result = RunExchange(link.port, kFieldPolicy, BuildFrame("GETEMFDATA"),
                             MeasurementBuffer.data(), portNumber, stop);
    }
    if (result.hungUp) return FetchOutcome::Disconnected;
    if (result.openFailed) return FetchOutcome::OpenFailed;
    if (result.stopped) return FetchOutcome::Stopped;
    if (!result.whole) return FetchOutcome::NoWholeReply;
    DecodeCurrentMeasurement(link.FirmwareRevision);
    if (autoSave) AutoSaveCurrentMeasurement();
    return FetchOutcome::Accepted;
}

static_assert(kSpectrumPolicy.attempts == kSpectrumSweeps, "the sweep row allows a fetch's sweeps");

FetchOutcome FetchSpectrumSweeps(MeterLink& link, int portNumber, int threshold,
                                 const SpectrumFetchHooks& hooks, int* sweeps,
                                 const std::atomic<bool>* stop, bool autoSave) {
    MeasurementKind = kKindSpectrum;
    // Held for the whole loop, but for the gaps between sweeps that the hooks ask for.
    std::optional<PortGuard> guard;
    guard.emplace(link);
    const Bytes frame = BuildFrame("GETBANDDATAHEX");
    // A sweep lands in scratch first: a reply that is not whole never reaches the record.
    static std::array<uint8_t, sizeof(MeasurementBuffer)> reply;
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
        std::copy(MeasurementBuffer.begin(), MeasurementBuffer.end(), reply.begin());
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
        std::copy(reply.begin(), reply.end(), MeasurementBuffer.begin());
        DecodeCurrentMeasurement(link.FirmwareRevision);
        peak = std::max(peak, SpectrumPeak(SpectrumRecord));
        if (peak >= threshold) {
            outcome = FetchOutcome::Accepted;
            break;
        }
    }
    if (sweeps) *sweeps = made;
    if (outcome == FetchOutcome::Accepted && autoSave) AutoSaveCurrentMeasurement();
    return outcome;
}
