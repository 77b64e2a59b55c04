#pragma once
// The measurement file: one line of signed decimal bytes, the kind first, each number
// followed by a comma, then "\r\n". It holds the raw reply, so a loaded file is decoded
// exactly as a fresh reply would be.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "measure/measurement.h"

inline constexpr const char* kMeasurementExtension = ".csv";
inline constexpr const char* kFailedToOpenFile = "Failed to open the file.";
inline constexpr const char* kFileSaved = "File Saved";
// Load refuses a file that is not text at all (NUL or other control bytes besides CR, LF and
// tab, or bytes above 127), a special file, or one far larger than any measurement.
inline constexpr const char* kNotMeasurementFile = "The file is not a measurement file.";

struct FileFilter {
    const char* label;
    const char* pattern;
};

// clang-format off
inline constexpr FileFilter kLoadFilters[] = {
    {"CSV (*.csv)",                   "*.csv"},
    {"Binary Files (*.bin)",          "*.bin"},
};

inline constexpr FileFilter kSaveFilters[] = {
    {"Both Files (BIN and CSV)",      "*.*"},
    {"Binary Files (*.bin)",          "*.bin"},
    {"CSV (Comma delimited) (*.csv)", "*.csv"},
    {"Screen JPEG Files (*.jpeg)",    "*.jpeg"},
    {"Graphic JPG Files (*.jpg)",     "*.jpg"},
    {"HTM (*.htm)",                   "*.htm"},
    {"HTML (*.html)",                 "*.html"},
    {"Spreadsheet ODS Files (*.ods)", "*.ods"},
    {"All Files (*.*)",               "*.*"},
};
// clang-format on

// The file type the dialog reports before the user picks one.
inline constexpr const char* kInitialFilterLabel = "Binary Files (*.bin)";

// Removes every occurrence of `extension` (case-sensitive, one left-to-right pass) and
// appends it once: "trace" -> "trace.csv", "a.csvb.csv" -> "ab.csv", "trace.CSV" ->
// "trace.CSV.csv". Used for ".csv" and ".bmp" alike.
std::string WithExtension(std::string_view path, std::string_view extension);

// "0," and 1201 numbers for a field block, "1," and 269 for a spectrum (any non-zero kind),
// each byte printed as signed 8-bit with "%d,", then "\r\n". Bytes beyond the end of
// `buffer` are not written.
std::string MeasurementFileText(uint8_t kind, std::span<const uint8_t> buffer);

// Creates (or replaces) the file with the text above, whole or not at all: on failure nothing
// is left under `path` (an older file there stays as it was), `error` (when given) receives
// the system's reason and the caller decides whether to tell the user.
bool WriteMeasurementFile(const std::string& path, uint8_t kind, std::span<const uint8_t> buffer,
                          std::string* error = nullptr);

// Reads a measurement file's text: the number before the first comma gives the kind (1 when
// above 0, else 0); then each number that is followed by a comma goes, low 8 bits, into the
// next byte of `buffer`. An empty number (",,") ends the reading, text after the last comma
// is ignored, and reading stops at the buffer's end. Text without any comma gives kind 0 and
// stores nothing. Bytes past the last one stored keep their contents. Returns the count
// stored.
std::size_t ParseMeasurementText(std::string_view text, uint8_t& kind, std::span<uint8_t> buffer);

// The leading decimal integer as the run-time's atoi reads it: blanks, a sign, digits up to
// the first other character; no digits give 0; out-of-range values saturate. Deliberately not
// the checked reader of link/number_text.h: measurement files saved by older versions and
// edited by hand load as they always have, so this lenient rule is part of the file format.
int32_t LeadingInteger(std::string_view text);

enum class LoadStatus { kLoaded, kCannotOpen, kNotMeasurement };

// How Load reads the numbers. kAny: every text, by the lenient rules above. kWhole: the numbers
// (read by the same rules) must be one whole measurement of the kind they start with: the kind
// and 1201 numbers for a field block, the kind and 269 for a spectrum; any other text (notes,
// a table, a cut-off file) is refused before anything changes, so no stale byte is shown.
enum class MeasurementShape { kAny, kWhole };

// The largest file Load reads: a measurement file is under 5 KB.
inline constexpr std::size_t kMeasurementFileLimit = 65536;

// True when every byte is printable ASCII, CR, LF or tab.
bool IsMeasurementText(std::string_view text);

// Opens the file for reading and writing, as the program always has, so a read-only file
// counts as one that cannot be opened (caller shows kFailedToOpenFile; nothing changes).
// A special file (device, FIFO, directory), one over kMeasurementFileLimit or one that is not
// text gives kNotMeasurement (caller shows kNotMeasurementFile; nothing changes).
// A text of another shape than `shape` allows gives kNotMeasurement too.
// Otherwise parses it into `kind` and `buffer`; `stored` receives the count when given.
LoadStatus LoadMeasurementFile(const std::string& path, uint8_t& kind, std::span<uint8_t> buffer,
                               std::size_t* stored = nullptr,
                               MeasurementShape shape = MeasurementShape::kAny);
// A whole measurement into the reading's kind and bytes; the caller then decodes it.
LoadStatus LoadWholeMeasurementFile(const std::string& path, Measurement& reading);
