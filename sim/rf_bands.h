#pragma once
// The RF bands the meter sweeps into 128 bins, the transmitters it finds in each, and the
// 269-byte record it sends for one sweep. The band mode byte tells the program how the bins
// are spread over the band; the meter lays its bins out the same way.

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "link/command_frame.h"
#include "sim/field_environment.h"

inline constexpr int kSpectrumBins = 128;
inline constexpr int kSpectrumRecordLength = 269;
using SweepLevels = std::array<int8_t, kSpectrumBins>;  // dBm per bin, bin 0 first

struct Emitter {
    double centerHz;
    double halfWidthHz;  // occupied half bandwidth
    int levelDbm;        // received level at the band centre of the emission
    double duty;         // share of sweeps that find it on the air
};

struct BandPlan {
    uint8_t mode;
    const char* name;  // as the meter's display shows it
    uint32_t startHz;
    uint32_t bandwidthHz;
    uint32_t spacingHz;
    std::span<const Emitter> emitters;
};

// The band of that mode, or null. Modes run from 0 to BandCount() - 1.
const BandPlan* FindBand(int mode);
int BandCount();

// Frequency of bin 0..128 (128 is one step past the last bin) in this band's layout.
uint32_t BinHz(const BandPlan& band, int bin);

// One sweep. sweepIndex numbers the sweeps so that each finds the air a little different.
SweepLevels SweepBand(const BandPlan& band, const Scene& scene, uint64_t seed, uint64_t sweepIndex);

// The reply to GETBANDDATAHEX: levels, start, bandwidth and spacing (big-endian), band mode and
// 128 per-bin frequency offsets (the meter's bins need none, so they are 0).
Bytes SpectrumRecord(const BandPlan& band, const SweepLevels& levels);

// Strongest level of a sweep.
int PeakDbm(const SweepLevels& levels);
