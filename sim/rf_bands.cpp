#include "sim/rf_bands.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <vector>

namespace {

constexpr double kMHz = 1e6;
constexpr double kKHz = 1e3;

// clang-format off
//                                centre            half width     dBm  duty
constexpr Emitter kWifi24[] = {
    {2412 * kMHz,  9 * kMHz,   -48, 0.70},   // router on channel 1
    {2437 * kMHz,  9 * kMHz,   -62, 0.50},   // neighbour, channel 6
    {2462 * kMHz,  9 * kMHz,   -71, 0.40},   // neighbour, channel 11
    {2450 * kMHz, 15 * kMHz,   -40, 0.04},   // microwave oven
    {2480 * kMHz,  1 * kMHz,   -66, 0.25},   // Bluetooth
};
constexpr Emitter kNr35[] = {
    {3500 * kMHz, 50 * kMHz,   -68, 0.90},
    {3700 * kMHz, 40 * kMHz,   -78, 0.80},
};
constexpr Emitter kUhf[] = {
    {433.92 * kMHz, 1 * kMHz,  -70, 0.10},   // remote key fob
    {506 * kMHz,    4 * kMHz,  -60, 1.00},   // television
    {618 * kMHz,    4 * kMHz,  -66, 1.00},   // television
    {806 * kMHz,    5 * kMHz,  -58, 0.90},   // LTE 800 downlink
    {868.3 * kMHz,  0.3 * kMHz, -65, 0.15},  // smart meter
    {947 * kMHz,   12 * kMHz,  -52, 0.95},   // GSM 900 downlink
};
constexpr Emitter kCellular[] = {
    {1842 * kMHz, 37 * kMHz,   -55, 0.95},   // GSM 1800 downlink
    {1890 * kMHz, 10 * kMHz,   -62, 0.60},   // DECT handset
    {2140 * kMHz, 30 * kMHz,   -60, 0.90},   // UMTS / LTE 2100 downlink
};
constexpr Emitter kFm[] = {
    {89.3 * kMHz,  0.1 * kMHz, -52, 1.0},
    {92.4 * kMHz,  0.1 * kMHz, -60, 1.0},
    {95.8 * kMHz,  0.1 * kMHz, -48, 1.0},
    {99.1 * kMHz,  0.1 * kMHz, -63, 1.0},
    {102.6 * kMHz, 0.1 * kMHz, -55, 1.0},
    {106.4 * kMHz, 0.1 * kMHz, -58, 1.0},
};
constexpr Emitter kIsm868[] = {
    {868.3 * kMHz, 0.3 * kMHz, -55, 0.25},   // smart meter
    {869.5 * kMHz, 0.1 * kMHz, -70, 0.10},   // alarm system
};
constexpr Emitter kAm[] = {
    {612 * kKHz,  4.5 * kKHz,  -58, 1.0},
    {810 * kKHz,  4.5 * kKHz,  -66, 1.0},
    {909 * kKHz,  4.5 * kKHz,  -50, 1.0},
    {1089 * kKHz, 4.5 * kKHz,  -62, 1.0},
    {1215 * kKHz, 4.5 * kKHz,  -70, 1.0},
    {1458 * kKHz, 4.5 * kKHz,  -61, 1.0},
    {1602 * kKHz, 4.5 * kKHz,  -72, 1.0},
};

//                              mode  name          start Hz       bandwidth  spacing
constexpr BandPlan kBands[] = {
    {0, "2.4GHz WiFi",  2'400'000'000u,   812'500,    400'000, kWifi24},
    {1, "3.5GHz 5G",    3'300'000'000u, 4'000'000,  4'000'000, kNr35},
    {2, "240-1040MHz",    240'000'000u, 1'000'000,  1'000'000, kUhf},
    {3, "1.7-2.2GHz",   1'700'000'000u, 4'000'000,  4'000'000, kCellular},
    {4, "FM 88-108MHz",    88'000'000u,   150'000,     45'350, kFm},
    {5, "868MHz ISM",     863'000'000u,   125'000,    125'000, kIsm868},
    {6, "AM 530-1710k",       530'000u,     9'000,      6'000, kAm},
};
// clang-format on

// Where the layouts of modes 2, 4 and 6 change pace, and the fixed frequencies they change to.
constexpr int kUhfCoarseBin = 120;
constexpr int kFmWideBin = 71;
constexpr int kAmFineBin = 71;
constexpr int64_t kAmFineStartHz = 1'372'000;

constexpr int kLowestLevel = -128;
constexpr int kHighestLevel = -5;
constexpr double kNoiseFloorDbm = -97;
constexpr int kFloorChannel = 200;
constexpr int kEmitterChannel = 300;
constexpr int kLevelChannel = 400;

// An emission falls off this much at its edge.
constexpr double kEdgeDropDb = 12;

double StepHz(const BandPlan& band, int bin) {
    return static_cast<double>(BinHz(band, bin + 1)) - static_cast<double>(BinHz(band, bin));
}

// An emission is strongest at its centre and falls off towards its edges; a bin wider than the
// emission still catches it.
double EmissionAt(const Emitter& e, double binHz, double stepHz, double levelDbm) {
    const double width = std::max(e.halfWidthHz, std::abs(stepHz) / 2);
    const double d = std::abs(binHz - e.centerHz);
    if (d > width) return -std::numeric_limits<double>::infinity();
    const double r = d / width;
    return levelDbm - kEdgeDropDb * r * r;
}

struct OnAir {
    const Emitter* emitter;
    double levelDbm;  // as received during this sweep
};

std::vector<OnAir> OnAirDuring(const BandPlan& band, const Scene& scene, uint64_t seed,
                               int64_t sweep) {
    std::vector<OnAir> onAir;
    for (size_t i = 0; i < band.emitters.size(); ++i) {
        const int channel = static_cast<int>(i);
        const Emitter& e = band.emitters[i];
        if (NoiseUnit(seed, sweep, kEmitterChannel + channel) >= e.duty) continue;
        onAir.push_back({&e, e.levelDbm + scene.rfOffsetDb +
                                 6 * (NoiseUnit(seed, sweep, kLevelChannel + channel) - 0.5)});
    }
    return onAir;
}

void PutBigEndian32(Bytes& bytes, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace

const BandPlan* FindBand(int mode) {
    for (const BandPlan& band : kBands)
        if (band.mode == mode) return &band;
    return nullptr;
}

int BandCount() {
    return static_cast<int>(std::size(kBands));
}

uint32_t BinHz(const BandPlan& band, int bin) {
    const int64_t f0 = band.startHz;
    const int64_t s = band.spacingHz;
    const int64_t b = bin;
    int64_t hz = f0 + s * b;
    switch (band.mode) {
        case 0:
            hz = f0 + s * 2 * b;
            break;
        case 2:
            hz = b < kUhfCoarseBin ? f0 + 6 * s * b : 1'000'000 * (10 * b - 240);
            break;
        case 4:
            hz = b < kFmWideBin ? f0 + s * 3 * b : f0 + s * (4 * b - 71);
            break;
        case 6:
            hz = b < kAmFineBin ? f0 + s * 2 * b : kAmFineStartHz + s * (b - 71);
            break;
        default:
            break;
    }
    return static_cast<uint32_t>(hz);
}

SweepLevels SweepBand(const BandPlan& band, const Scene& scene, uint64_t seed,
                      uint64_t sweepIndex) {
    const auto sweep = static_cast<int64_t>(sweepIndex);
    const std::vector<OnAir> onAir = OnAirDuring(band, scene, seed, sweep);
    SweepLevels levels{};
    for (int b = 0; b < kSpectrumBins; ++b) {
        const double floorDbm =
            kNoiseFloorDbm + scene.rfOffsetDb / 3.0 +
            5 * (NoiseUnit(seed, sweep * kSpectrumBins + b, kFloorChannel) - 0.5);
        // Powers add: the noise floor and every emission that reaches into the bin.
        double milliwatts = std::pow(10.0, floorDbm / 10);
        for (const OnAir& e : onAir)
            milliwatts += std::pow(
                10.0, EmissionAt(*e.emitter, BinHz(band, b), StepHz(band, b), e.levelDbm) / 10);
        const auto dbm = static_cast<int>(std::round(10 * std::log10(milliwatts)));
        levels[static_cast<size_t>(b)] =
            static_cast<int8_t>(std::clamp(dbm, kLowestLevel, kHighestLevel));
    }
    return levels;
}

Bytes SpectrumRecord(const BandPlan& band, const SweepLevels& levels) {
    Bytes record;
    record.reserve(kSpectrumRecordLength);
    for (int8_t level : levels)
        record.push_back(static_cast<uint8_t>(level));
    PutBigEndian32(record, band.startHz);
    PutBigEndian32(record, band.bandwidthHz);
    PutBigEndian32(record, band.spacingHz);
    record.push_back(band.mode);
    record.resize(kSpectrumRecordLength, 0);  // per-bin frequency offsets
    return record;
}

int PeakDbm(const SweepLevels& levels) {
    return *std::max_element(levels.begin(), levels.end());
}
