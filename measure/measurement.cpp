#include "measure/measurement.h"

#include "measure/field_reading.h"
#include "measure/spectrum.h"

bool DecodeMeasurement(uint8_t kind, std::span<const uint8_t> buffer, float revision,
                       FieldBlockData& field, SpectrumRecordData& spectrum) {
    if (kind == kKindField) return DecodeFieldReply(buffer, revision, field);
    return DecodeSpectrumReply(buffer, spectrum);
}

bool DecodeMeasurement(Measurement& reading, float revision) {
    return DecodeMeasurement(reading.kind, reading.bytes, revision, reading.field,
                             reading.spectrum);
}
