#pragma once
// What the meter measured last: the raw reply bytes, whether they are a field block or a
// spectrum, and the decoded forms the graph draws. Every fetch or load overwrites them in
// place; they belong to the user-interface thread and are plain globals for that reason.
//
// The functions below take their inputs explicitly; the "Current" wrappers use the globals.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr std::size_t kFieldReplyLength = 1201;     // 60 records + trailer
inline constexpr std::size_t kSpectrumReplyLength = 269;   // levels, frequencies, offsets
inline constexpr std::size_t kMeasurementCapacity = 1201;  // the longer of the two replies
inline constexpr int kFieldSamples = 60;
inline constexpr int kSpectrumBins = 128;

// MeasurementKind values; any non-zero kind is treated as a spectrum.
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

extern MeasurementBytes MeasurementBuffer;  // never cleared: a short reply leaves old bytes
extern uint8_t MeasurementKind;             // starts as kKindSpectrum
extern FieldBlockData FieldBlock;
extern SpectrumRecordData SpectrumRecord;
extern int SearchThreshold;  // dBm a sweep's peak must reach; starts at -128

// Number of reply bytes a measurement of this kind holds (and a file of it stores).
constexpr std::size_t MeasurementLength(uint8_t kind) {
    return kind != kKindField ? kSpectrumReplyLength : kFieldReplyLength;
}

// Decodes `buffer` as a field block (kind 0, converted with `revision`'s curves) or a
// spectrum (any other kind). Returns false, changing nothing, when the buffer is too short
// for that kind (fewer than 60 field records, or fewer than 269 spectrum bytes).
bool DecodeMeasurement(uint8_t kind, std::span<const uint8_t> buffer, float revision,
                       FieldBlockData& field, SpectrumRecordData& spectrum);

// DecodeMeasurement on the globals, with the identified meter's revision.
void DecodeCurrentMeasurement(float revision);
