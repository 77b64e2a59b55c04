#pragma once
// The history memory as a CSV table. The memory is a stream of records on even offsets:
// time stamps (0x55 0xAA + year, month, day, hour, minute, second) and readings (0xAA 0x55 +
// EMF word, EF float, RF float, optionally "Z" and a possible-source code). Each reading
// becomes one line dated from the last time stamp, one second later per further reading.
//
// Only the bytes [memory, memory + count) are read. A record that does not fit in them
// ends the table: a time stamp needs 8 bytes, a reading 12, and a reading whose "Z" byte is
// the last counted byte (its source code is cut off) is not written either. A reading
// whose byte 12 lies past the count is a whole 12-byte reading without a source.
// Readings before the first time stamp are dated from 2000/01/01 00:00:00 on.
//
// Every line ends in CR LF; open files in binary mode.

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

inline constexpr const char* kHistoryCsvLineEnd = "\r\n";

// How the table writes dates: the meter's "2026/12/07 01:30:00", or "2026-12-07 01:30:00",
// which spreadsheets recognise as dates in every language.
enum class HistoryDateStyle { Meter, Iso };

// The whole CSV text: the three header lines, then the table.
std::string HistoryCsvText(const uint8_t* memory, size_t count,
                           HistoryDateStyle style = HistoryDateStyle::Meter);

// Writes HistoryCsvText to the stream in one go.
void WriteHistoryCsv(const uint8_t* memory, size_t count, std::ostream& out);

// Text of a possible-source code: "---", "Smart Meter", … , "Mixed" for codes past the table.
const char* PossibleSourceText(uint8_t code);
