#pragma once
// The meter's last 60 field samples. "<GETEMFDATA>>" answers with 60 records of 20 bytes and
// a trailer byte; the meter sends no length field, so a reply is whole when its trailer
// arrives.

#include <cstddef>
#include <cstdint>
#include <span>

#include "measure/measurement.h"

inline constexpr std::size_t kFieldRecordSize = 20;
inline constexpr std::size_t kFieldTrailerOffset = 1200;
inline constexpr uint8_t kFieldTrailer = 0xAA;

// Offsets inside one record of the signed 32-bit little-endian counts; bytes 0..3 are unused.
inline constexpr std::size_t kEfCountOffset = 4;
inline constexpr std::size_t kXCountOffset = 8;
inline constexpr std::size_t kYCountOffset = 12;
inline constexpr std::size_t kZCountOffset = 16;

static_assert(kFieldRecordSize * kFieldSamples == kFieldTrailerOffset);
static_assert(kFieldReplyLength <= kMeasurementCapacity);

// True when the buffer reaches the trailer and the trailer is 0xAA.
bool IsWholeFieldReply(std::span<const uint8_t> buffer);

// Signed 32-bit little-endian count at `offset`.
int32_t ReadCountLE(std::span<const uint8_t> buffer, std::size_t offset);

// Converts the 60 records with the curves of `revision`. The trailer is not examined.
// Returns false, leaving `block` unchanged, when the buffer holds fewer than 60 records.
bool DecodeFieldReply(std::span<const uint8_t> buffer, float revision, FieldBlockData& block);
