#pragma once
// Builders for history memory records, shared by the history tests.

#include <bit>
#include <cstdint>
#include <optional>
#include <vector>

namespace history_records {

using Memory = std::vector<uint8_t>;

inline void AddStamp(Memory& memory, uint8_t year, uint8_t month, uint8_t day, uint8_t hour,
                     uint8_t minute, uint8_t second) {
    memory.insert(memory.end(), {0x55, 0xAA, year, month, day, hour, minute, second});
}

inline void AddFloat(Memory& memory, float value) {
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8)
        memory.push_back(static_cast<uint8_t>(bits >> shift));
}

// A reading; with a source code it carries the "Z" extension.
inline void AddReading(Memory& memory, uint8_t emfHigh, uint8_t emfLow, float ef, float rf,
                       std::optional<uint8_t> source = std::nullopt) {
    memory.insert(memory.end(), {0xAA, 0x55, emfHigh, emfLow});
    AddFloat(memory, ef);
    AddFloat(memory, rf);
    if (source) memory.insert(memory.end(), {0x5A, *source});
}

}  // namespace history_records
