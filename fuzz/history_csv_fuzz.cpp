// The history decoder: any memory image becomes a CSV table without fault.

#include "history/history_csv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HistoryCsvText(data, size);
    PossibleSourceText(size > 0 ? data[0] : 0);
    return 0;
}
