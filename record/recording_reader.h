#pragma once
// Reads the long-term data the program writes back into one time-series model: field
// recordings, spectrum recordings, and the history download as CSV or as the .bin dump.
// Rows keep their own times, so a second that was never read stays a gap. Files are read a
// line at a time and refused at their first line that cannot be read (with its number): a
// row that is not whole, a number that is no reading (nan, inf), a time that cannot be (a
// recording's 2026-02-31 or +99:99, a history's month 13), a NUL byte. Only a last line
// cut off without its line end, as a killed recorder may leave it, is dropped. A field row
// takes 28 bytes in memory, so what `record` writes fits.

#include <cstdint>
#include <string>
#include <vector>

#include "record/recording_file.h"

// How a series' times read as clock times. Recordings hold instants, shown in the local
// zone; a history holds the meter's own clock as written (no zone, no daylight-saving
// step), kept as seconds since the epoch of that wall-clock time read as UTC.
enum class ClockTimes { Local, AsWritten };

// Several values over time. times: seconds since the epoch, ascending.
struct TimeSeries {
    std::vector<std::string> names;  // one per column: "x_mg", "emf_mg", …
    std::vector<int64_t> times;
    std::vector<std::vector<float>> columns;  // columns[c][row]
    int64_t longestStep = 1;                  // a longer step between rows is a gap
    // A history's possible source per row ("Smart Meter", "---" or empty); empty otherwise.
    std::vector<std::string> sources;
    ClockTimes clock = ClockTimes::Local;

    bool GapBefore(std::size_t row) const {
        return row > 0 && times[row] - times[row - 1] > longestStep;
    }
    int Column(const std::string& name) const;  // -1 when absent
};

struct SpectrumSeries {
    std::vector<SpectrumRow> rows;  // time never going back (two sweeps may share a second)
    int64_t longestStep = 1;
};

enum class RecordingKind { Field, Spectrum, History };

// Which kind the file is, from its first line; failing that, a .bin name is a history dump.
bool DetectRecordingKind(const std::string& path, const std::string& firstLine,
                         RecordingKind* kind);

bool ParseFieldRecording(const std::string& text, TimeSeries* series, std::string* error);
bool ParseSpectrumRecording(const std::string& text, SpectrumSeries* series, std::string* error);
// The history CSV in either date style; dates are the meter's clock (ClockTimes::AsWritten).
bool ParseHistoryCsv(const std::string& text, TimeSeries* series, std::string* error);

// Any of the kinds from a file. A spectrum file fills `spectrum`, the others `series`.
bool LoadRecording(const std::string& path, RecordingKind* kind, TimeSeries* series,
                   SpectrumSeries* spectrum, std::string* error);

// A moment on a history's clock as a person types it ("2026-03-29 02:30[:00]", "T" or a
// space, or a date), read as written even inside a daylight-saving gap; an ISO time with
// its offset is the local wall-clock time of that instant.
bool ParseWrittenTime(const std::string& text, int64_t* time);
