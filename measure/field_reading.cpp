#include "measure/field_reading.h"

#include <cmath>

#include "measure/field_calibration.h"

namespace {

struct RawSample {
    int32_t ef, x, y, z;
};

RawSample ReadRecord(std::span<const uint8_t> buffer, int k) {
    std::size_t base = kFieldRecordSize * k;
    return {ReadCountLE(buffer, base + kEfCountOffset), ReadCountLE(buffer, base + kXCountOffset),
            ReadCountLE(buffer, base + kYCountOffset), ReadCountLE(buffer, base + kZCountOffset)};
}

// R2 firmware calibrates the total field from the plain sum of the axis counts; the sum
// wraps as the meter's own 32-bit arithmetic does.
int32_t SumOfCounts(const RawSample& s) {
    uint32_t sum =
        static_cast<uint32_t>(s.x) + static_cast<uint32_t>(s.y) + static_cast<uint32_t>(s.z);
    return static_cast<int32_t>(sum);
}

float TotalField(const RawSample& raw, float x, float y, float z, float revision) {
    if (CalibrationBandFor(revision) == CalibrationBand::kR2)
        return ConvertEmfCount(SumOfCounts(raw), revision);
    return static_cast<float>(std::sqrt(double(x) * x + double(y) * y + double(z) * z));
}

}  // namespace

bool IsWholeFieldReply(std::span<const uint8_t> buffer) {
    return buffer.size() > kFieldTrailerOffset && buffer[kFieldTrailerOffset] == kFieldTrailer;
}

int32_t ReadCountLE(std::span<const uint8_t> buffer, std::size_t offset) {
    uint32_t value = uint32_t(buffer[offset]) | uint32_t(buffer[offset + 1]) << 8 |
                     uint32_t(buffer[offset + 2]) << 16 | uint32_t(buffer[offset + 3]) << 24;
    return static_cast<int32_t>(value);
}

bool DecodeFieldReply(std::span<const uint8_t> buffer, float revision, FieldBlockData& block) {
    if (buffer.size() < kFieldTrailerOffset) return false;
    for (int k = 0; k < kFieldSamples; ++k) {
        RawSample raw = ReadRecord(buffer, k);
        block.efSeries[k] = ConvertEfCount(raw.ef, revision);
        block.xSeries[k] = ConvertEmfCount(raw.x, revision);
        block.ySeries[k] = ConvertEmfCount(raw.y, revision);
        block.zSeries[k] = ConvertEmfCount(raw.z, revision);
        block.emfSeries[k] =
            TotalField(raw, block.xSeries[k], block.ySeries[k], block.zSeries[k], revision);
    }
    return true;
}
