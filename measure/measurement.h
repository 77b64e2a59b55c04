#pragma once
// One reading of the meter as whoever fetched or loaded it keeps it: the raw reply bytes,
// whether they are a field block or a spectrum, and the decoded forms the graph draws. The
// window keeps the one it shows, a recorder its own, the command-line tool its own; a fetch
// or a load writes only into the reading it is given.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr std::size_t kFieldReplyLength = 1201;     // 60 records + trailer
inline constexpr std::size_t kSpectrumReplyLength = 269;   // levels, frequencies, offsets
inline constexpr std::size_t kMeasurementCapacity = 1201;  // the longer of the two replies
inline constexpr int kFieldSamples = 60;
inline constexpr int kSpectrumBins = 128;

// Measurement::kind values; any non-zero kind is treated as a spectrum.
inline constexpr uint8_t kKindField = 0;
inline constexpr uint8_t kKindSpectrum = 1;

using MeasurementBytes = std::array<uint8_t, kMeasurementCapacity>;
using FieldSeries = std::array<float, kFieldSamples>;
using SpectrumLevels = std::array<int8_t, kSpectrumBins>;

// Sample 0 is the oldest, 59 the newest, one second apart.
struct FieldBlockData {
    FieldSeries efSeries{};   // V/m
    FieldSeries xSeries{};    // mG
    FieldSeries ySeries{};    // mG
    FieldSeries zSeries{};    // mG
    FieldSeries emfSeries{};  // mG, total field
};

// The meter keeps separate per-bin frequency offsets for band modes 0 and 2; all other
// modes share one table. A reply refreshes only the table of its own mode.
struct BinOffsetTables {
    SpectrumLevels mode0{};
    SpectrumLevels mode2{};
    SpectrumLevels shared{};
};

inline constexpr int8_t kFloorDbm = -128;

constexpr SpectrumLevels FlatSpectrum() {
    SpectrumLevels levels{};
    levels.fill(kFloorDbm);
    return levels;
}

struct SpectrumRecordData {
    SpectrumLevels dbm = FlatSpectrum();  // flat at -128 dBm until the first sweep
    uint32_t startHz = 0;
    uint32_t bandwidthHz = 0;
    uint32_t spacingHz = 0;  // step between bins
    int bandMode = 0;        // 0..255
    BinOffsetTables binOffset;
};

struct Measurement {
    MeasurementBytes bytes{};  // never cleared: a short reply leaves old bytes
    uint8_t kind = kKindSpectrum;
    FieldBlockData field;
    SpectrumRecordData spectrum;
};

// Number of reply bytes a measurement of this kind holds (and a file of it stores).
constexpr std::size_t MeasurementLength(uint8_t kind) {
    return kind != kKindField ? kSpectrumReplyLength : kFieldReplyLength;
}

// Decodes `buffer` as a field block (kind 0, converted with `revision`'s curves) or a
// spectrum (any other kind). Returns false, changing nothing, when the buffer is too short
// for that kind (fewer than 60 field records, or fewer than 269 spectrum bytes).
bool DecodeMeasurement(uint8_t kind, std::span<const uint8_t> buffer, float revision,
                       FieldBlockData& field, SpectrumRecordData& spectrum);

// The same on the reading's own kind and bytes, into its own decoded forms.
bool DecodeMeasurement(Measurement& reading, float revision);
