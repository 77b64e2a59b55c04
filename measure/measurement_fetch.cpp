#include "measure/measurement_fetch.h"

#include <algorithm>

#include "link/command_exchange.h"
#include "link/link_flags.h"
#include "measure/auto_save.h"
#include "measure/measurement.h"
#include "measure/spectrum.h"

FetchOutcome FetchFieldBlock(CSerialPort& port, int portNumber) {
    MeasurementKind = kKindField;
    WaitAndTakePort();
    // The buffer is zeroed before each attempt, so a short reply never passes for a whole
    // one on the strength of an older reply's trailer.
    ExchangeResult result = RunExchange(port, kFieldPolicy, BuildFrame("GETEMFDATA"),
                                        MeasurementBuffer.data(), portNumber);
    PortFree = true;
    if (result.openFailed) return FetchOutcome::OpenFailed;
    if (!result.whole) return FetchOutcome::NoWholeReply;
    DecodeCurrentMeasurement();
    AutoSaveCurrentMeasurement();
    return FetchOutcome::Accepted;
}

FetchOutcome FetchSpectrumSweeps(CSerialPort& port, int portNumber, int threshold,
                                 const SpectrumFetchHooks& hooks, int* sweeps) {
    MeasurementKind = kKindSpectrum;
    WaitAndTakePort();
    const Bytes frame = BuildFrame("GETBANDDATAHEX");
    int peak = kFloorDbm;
    int made = 0;
    FetchOutcome outcome = FetchOutcome::NotFound;
    while (made < kSpectrumSweeps) {
        if (hooks.beforeSweep) hooks.beforeSweep();
        ExchangeResult result =
            RunExchange(port, kSpectrumPolicy, frame, MeasurementBuffer.data(), portNumber);
        if (result.openFailed) {
            outcome = FetchOutcome::OpenFailed;
            break;
        }
        ++made;
        DecodeCurrentMeasurement();
        peak = std::max(peak, SpectrumPeak(SpectrumRecord));
        if (peak >= threshold) {
            outcome = FetchOutcome::Accepted;
            break;
        }
    }
    PortFree = true;
    if (sweeps) *sweeps = made;
    if (outcome == FetchOutcome::Accepted) AutoSaveCurrentMeasurement();
    return outcome;
}
