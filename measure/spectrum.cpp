#include "measure/spectrum.h"

#include <algorithm>
#include <cstring>

#include "link/meter_identity.h"

bool SpectrumSupported(int model) {
    return model != kModelZtx420 && model != kModelZtx8800;
}

uint32_t ReadU32BE(std::span<const uint8_t> buffer, std::size_t offset) {
    return uint32_t(buffer[offset]) << 24 | uint32_t(buffer[offset + 1]) << 16 |
           uint32_t(buffer[offset + 2]) << 8 | uint32_t(buffer[offset + 3]);
}

SpectrumLevels& OffsetsForMode(BinOffsetTables& tables, int bandMode) {
    if (bandMode == kBandMode0) return tables.mode0;
    if (bandMode == kBandMode2) return tables.mode2;
    return tables.shared;
}

const SpectrumLevels& OffsetsForMode(const BinOffsetTables& tables, int bandMode) {
    return OffsetsForMode(const_cast<BinOffsetTables&>(tables), bandMode);
}

bool DecodeSpectrumReply(std::span<const uint8_t> buffer, SpectrumRecordData& record) {
    if (buffer.size() < kSpectrumReplyLength) return false;
    std::memcpy(record.dbm.data(), buffer.data() + kLevelsOffset, kSpectrumBins);
    record.startHz = ReadU32BE(buffer, kStartHzOffset);
    record.bandwidthHz = ReadU32BE(buffer, kBandwidthHzOffset);
    record.spacingHz = ReadU32BE(buffer, kSpacingHzOffset);
    record.bandMode = buffer[kBandModeOffset];
    SpectrumLevels& offsets = OffsetsForMode(record.binOffset, record.bandMode);
    std::memcpy(offsets.data(), buffer.data() + kBinOffsetsOffset, kSpectrumBins);
    return true;
}

int SpectrumPeak(const SpectrumRecordData& record) {
    return *std::max_element(record.dbm.begin(), record.dbm.end());
}
