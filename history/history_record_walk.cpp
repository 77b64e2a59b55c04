#include "history/history_record_walk.h"

#include <cstdio>

namespace {

constexpr uint8_t kStampMarker0 = 0x55, kStampMarker1 = 0xAA;
constexpr uint8_t kReadingMarker0 = 0xAA, kReadingMarker1 = 0x55;
constexpr size_t kStampSize = 8;
constexpr size_t kReadingValuesSize = kHistoryReadingSize - kHistoryMarkerSize;
constexpr size_t kSourceExtensionSize = 2;  // "Z", code
constexpr uint8_t kSourceMarker = 0x5A;     // "Z"

constexpr uint8_t kLastYear = 99, kLastMonth = 12, kLastDay = 31;
constexpr uint8_t kLastHour = 23, kLastMinute = 59, kLastSecond = 59;

// Bytes of the reading after its marker (10, or 12 with a source), or 0 when the reading does
// not fit in the `available` counted bytes.
size_t ReadingBodySize(const uint8_t* body, size_t available) {
    if (available < kReadingValuesSize) return 0;
    if (available == kReadingValuesSize || body[kReadingValuesSize] != kSourceMarker)
        return kReadingValuesSize;
    const size_t withSource = kReadingValuesSize + kSourceExtensionSize;
    return available < withSource ? 0 : withSource;
}

}  // namespace

HistoryRecord HistoryRecordAt(const uint8_t* memory, size_t count, size_t at) {
    const uint8_t first = memory[at], second = memory[at + 1];
    const size_t available = count - at;
    if (first == kStampMarker0 && second == kStampMarker1)
        return {HistoryRecordKind::Stamp, available < kStampSize ? 0 : kStampSize};
    if (first == kReadingMarker0 && second == kReadingMarker1) {
        const size_t body =
            ReadingBodySize(memory + at + kHistoryMarkerSize, available - kHistoryMarkerSize);
        return {HistoryRecordKind::Reading, body == 0 ? 0 : kHistoryMarkerSize + body};
    }
    return {HistoryRecordKind::Other, kHistoryMarkerSize};
}

bool HistoryStampPossible(const uint8_t* fields) {
    const uint8_t year = fields[0], month = fields[1], day = fields[2];
    return year <= kLastYear && month >= 1 && month <= kLastMonth && day >= 1 && day <= kLastDay &&
           fields[3] <= kLastHour && fields[4] <= kLastMinute && fields[5] <= kLastSecond;
}

std::string HistoryStampText(const uint8_t* f) {
    char text[40];
    std::snprintf(text, sizeof text, "20%02u/%02u/%02u %02u:%02u:%02u", unsigned{f[0]},
                  unsigned{f[1]}, unsigned{f[2]}, unsigned{f[3]}, unsigned{f[4]}, unsigned{f[5]});
    return text;
}

std::optional<size_t> FirstImpossibleStamp(const uint8_t* memory, size_t count) {
    for (size_t at = 0; at + kHistoryMarkerSize <= count;) {
        const HistoryRecord record = HistoryRecordAt(memory, count, at);
        if (record.size == 0) break;
        if (record.kind == HistoryRecordKind::Stamp &&
            !HistoryStampPossible(memory + at + kHistoryMarkerSize))
            return at;
        at += record.size;
    }
    return std::nullopt;
}
