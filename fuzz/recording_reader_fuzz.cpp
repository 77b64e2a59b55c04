// The readers of recordings and history tables: any text is read or refused without fault.

#include "record/recording_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    TimeSeries field;
    ParseFieldRecording(text, &field, &error);
    SpectrumSeries spectrum;
    ParseSpectrumRecording(text, &spectrum, &error);
    TimeSeries history;
    ParseHistoryCsv(text, &history, &error);
    return 0;
}
