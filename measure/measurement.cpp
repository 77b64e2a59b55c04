#include "measure/measurement.h"

#include "link/meter_identity.h"
#include "measure/field_reading.h"
#include "measure/spectrum.h"

MeasurementBytes MeasurementBuffer{};
uint8_t MeasurementKind = kKindSpectrum;
FieldBlockData FieldBlock;
SpectrumRecordData SpectrumRecord;
int SearchThreshold = kFloorDbm;

bool DecodeMeasurement(uint8_t kind, std::span<const uint8_t> buffer, float revision,
                       FieldBlockData& field, SpectrumRecordData& spectrum) {
    if (kind == kKindField) return DecodeFieldReply(buffer, revision, field);
    return DecodeSpectrumReply(buffer, spectrum);
}

void DecodeCurrentMeasurement(float revision) {
    // The revision is read now, so a field file loaded after identifying another meter is
    // converted with that meter's curves.
    DecodeMeasurement(MeasurementKind, MeasurementBuffer, revision, FieldBlock, SpectrumRecord);
}
