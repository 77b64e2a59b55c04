#pragma once
// The history memory record by record, as the CSV table and the block check both read it: a
// two-byte marker on an even offset, then a time stamp (6 bytes) or a reading (10 bytes, 12
// with "Z" and a possible-source code); any other pair is stepped over.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

enum class HistoryRecordKind { Stamp, Reading, Other };

inline constexpr size_t kHistoryMarkerSize = 2;
inline constexpr size_t kHistoryReadingSize = 12;  // without the source extension

struct HistoryRecord {
    HistoryRecordKind kind;
    size_t size;  // marker included; 0 when the record does not fit in the counted bytes
};

// The record whose marker is at `at` of memory[0, count); at + 2 must not pass count. A reading
// whose byte 12 lies past the count is a whole 12-byte reading without a source; one whose
// source code is cut off does not fit.
HistoryRecord HistoryRecordAt(const uint8_t* memory, size_t count, size_t at);

// Whether a time stamp's six fields (year within the century, month, day, hour, minute,
// second) name a time the meter's clock can hold.
bool HistoryStampPossible(const uint8_t* fields);

// "20yy/mm/dd hh:mi:ss" of a time stamp's fields, however impossible.
std::string HistoryStampText(const uint8_t* fields);

// Where the first time stamp the table would be dated from names no possible time: the offset
// of its marker; nothing when every one is possible.
std::optional<size_t> FirstImpossibleStamp(const uint8_t* memory, size_t count);
