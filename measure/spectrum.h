#pragma once
// One RF sweep. "<GETBANDDATAHEX>>" answers with 269 binary bytes: 128 levels, three
// big-endian frequencies, the band mode and 128 per-bin frequency offsets. There is no
// trailer; a sweep is taken when it is exactly that long with a plausible band, and then judged
// by its peak against the search threshold.

#include <cstddef>
#include <cstdint>
#include <span>

#include "link/command_exchange.h"
#include "measure/measurement.h"

inline constexpr std::size_t kLevelsOffset = 0;
// The link checks a sweep's frequencies before it is taken (SpectrumLayoutPlausible), so the
// layout is declared once, there.
inline constexpr std::size_t kStartHzOffset = kSpectrumStartHzAt;
inline constexpr std::size_t kBandwidthHzOffset = kSpectrumBandwidthHzAt;
inline constexpr std::size_t kSpacingHzOffset = kSpectrumSpacingHzAt;
inline constexpr std::size_t kBandModeOffset = 140;
inline constexpr std::size_t kBinOffsetsOffset = 141;

// Band modes with rules of their own. Modes 0 and 2 also keep offset tables of their own.
inline constexpr int kBandMode0 = 0;
inline constexpr int kBandMode2 = 2;
inline constexpr int kBandMode4 = 4;
inline constexpr int kBandMode6 = 6;

static_assert(kBinOffsetsOffset + kSpectrumBins == kSpectrumReplyLength);

// The meter models without a spectrum sweep (ZTX420 and ZTX-8800) are refused with this.
inline constexpr const char* kNotSupported = "Not Supported.";

// False for the models that cannot sweep; true for every other code, 0 included.
bool SpectrumSupported(int model);

// Unsigned 32-bit big-endian value at `offset`.
uint32_t ReadU32BE(std::span<const uint8_t> buffer, std::size_t offset);

// The offset table `bandMode` reads and writes: mode 0's, mode 2's or the shared one.
SpectrumLevels& OffsetsForMode(BinOffsetTables& tables, int bandMode);
const SpectrumLevels& OffsetsForMode(const BinOffsetTables& tables, int bandMode);

// Overwrites levels, frequencies, band mode and the offset table of that mode. Returns false,
// leaving `record` unchanged, when the buffer is shorter than 269 bytes.
bool DecodeSpectrumReply(std::span<const uint8_t> buffer, SpectrumRecordData& record);

// The strongest level of the sweep, dBm.
int SpectrumPeak(const SpectrumRecordData& record);
