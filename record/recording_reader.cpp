#include "record/recording_reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <type_traits>

#include "history/history_csv.h"
#include "link/number_text.h"
#include "link/utf8_path.h"

int TimeSeries::Column(const std::string& name) const {
    for (std::size_t c = 0; c < names.size(); ++c)
        if (names[c] == name) return static_cast<int>(c);
    return -1;
}

namespace {

constexpr int64_t kHistoryMaxBytes = 1 << 20;
constexpr std::size_t kFieldColumns = 5;
constexpr std::size_t kLongestLine = 16 * 1024;  // a spectrum header, the longest, is ~3 KB
constexpr std::size_t kReadBytes = 64 * 1024;

// A stream's lines one at a time in a buffer of a fixed size: a file of any length, or of
// nothing but line ends, is read in the same few kilobytes.
class LineReader {
  public:
    explicit LineReader(std::istream& in) : in_(in), buffer_(kLongestLine + kReadBytes) {}

    // The next whole line without its end (CR dropped). False at the end (a last line
    // without its end is dropped) or at a line no file of ours holds: Problem() says which.
    bool Next(std::string_view* line);
    const char* Problem() const { return problem_; }
    std::size_t Index() const { return index_; }     // of the line last given or refused
    uint64_t Consumed() const { return consumed_; }  // bytes of the lines given

  private:
    bool Fill();
    bool Refuse(const char* problem) {
        problem_ = problem;
        return false;
    }

    std::istream& in_;
    std::vector<char> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    std::size_t index_ = static_cast<std::size_t>(-1);
    uint64_t consumed_ = 0;
    const char* problem_ = nullptr;
};

bool LineReader::Next(std::string_view* line) {
    ++index_;
    for (;;) {
        const char* start = buffer_.data() + begin_;
        const std::size_t held = end_ - begin_;
        if (const void* stop = std::memchr(start, '\n', held)) {
            std::string_view text(start, static_cast<const char*>(stop) - start);
            begin_ += text.size() + 1;
            consumed_ += text.size() + 1;
            if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
            if (text.find('\0') != std::string_view::npos) return Refuse("a NUL byte");
            *line = text;
            return true;
        }
        if (held > kLongestLine) return Refuse("longer than any line of a recording");
        if (!Fill()) break;
    }
    // What a killed writer left of its last line goes, unless it is no text at all.
    if (std::memchr(buffer_.data() + begin_, '\0', end_ - begin_)) return Refuse("a NUL byte");
    return false;
}

bool LineReader::Fill() {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    in_.read(buffer_.data() + end_, static_cast<std::streamsize>(buffer_.size() - end_));
    const std::size_t got = static_cast<std::size_t>(in_.gcount());
    end_ += got;
    if (in_.bad()) return Refuse("cannot be read");
    return got > 0;
}

// Up to `most` comma-separated fields into `fields`; the count found (more than `most`
// when the line has more).
std::size_t SplitFields(std::string_view line, std::string_view* fields, std::size_t most) {
    std::size_t count = 0;
    for (std::size_t start = 0;; ++count) {
        const std::size_t comma = line.find(',', start);
        if (count < most) fields[count] = line.substr(start, comma - start);
        if (comma == std::string_view::npos) return count + 1;
        start = comma + 1;
    }
}

// A whole number or a finite reading: "nan" and "inf" are no readings.
template <typename Number>
bool ReadWhole(std::string_view text, Number* value) {
    const std::optional<Number> number = ParseWholeNumber<Number>(text);
    if (number) *value = *number;
    return number.has_value();
}

bool Refuse(std::string* error, std::size_t lineIndex, const char* what) {
    if (error) *error = "line " + std::to_string(lineIndex + 1) + ": " + what;
    return false;
}

// The reader's own refusal when it stopped early; true at a clean end.
bool EndedWhole(const LineReader& lines, std::string* error) {
    return !lines.Problem() || Refuse(error, lines.Index(), lines.Problem());
}

bool Ascending(const std::vector<int64_t>& times, int64_t time) {
    return times.empty() || time > times.back();
}

bool ReadRowTime(std::string_view text, int64_t* time) {
    return ParseIsoTime(std::string(text), time);
}

// "2026/12/07 01:30:00" or "2026-12-07 01:30:00", kept as written: the meter's clock knows
// no zone, and a time inside a daylight-saving gap is one it really showed. Its calendar is
// its own: a time stamp may name day 31 of any month and the table's running count goes past
// a month's end (12/31 23:59:59 is followed by 12/32), so such a day comes after the month.
bool ParseHistoryDate(std::string_view text, int64_t* time) {
    if (text.size() != 19 || (text[4] != '/' && text[4] != '-') || text[7] != text[4] ||
        text[10] != ' ' || text[13] != ':' || text[16] != ':')
        return false;
    int n[6] = {};
    const std::size_t at[6] = {0, 5, 8, 11, 14, 17};
    for (int i = 0; i < 6; ++i) {
        const std::string_view digits = text.substr(at[i], i == 0 ? 4 : 2);
        if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        ReadWhole(digits, &n[i]);
    }
    if (n[1] < 1 || n[1] > 12 || n[2] < 1 || n[3] > 23 || n[4] > 59 || n[5] > 59) return false;
    *time = DaysFromCivil(n[0], n[1], n[2]) * 86400 + n[3] * 3600 + n[4] * 60 + n[5];
    return true;
}

// How many rows to make room for once a vector is full: the rest of the file at the bytes
// per row read so far, so a year of rows is held once instead of doubled past its size.
// 0 until enough rows have been read to tell.
class RowBudget {
  public:
    RowBudget(uint64_t totalBytes, uint64_t firstRowAt)
        : totalBytes_(totalBytes), firstRowAt_(firstRowAt) {}
    std::size_t Room(std::size_t rows, uint64_t consumed) const {
        constexpr std::size_t kRowsToTell = 1024;
        if (rows < kRowsToTell || consumed <= firstRowAt_ || totalBytes_ <= consumed) return 0;
        const double perRow = static_cast<double>(consumed - firstRowAt_) / rows;
        const double more = static_cast<double>(totalBytes_ - consumed) / perRow;
        return rows + static_cast<std::size_t>(more * 1.02) + kRowsToTell;
    }

  private:
    uint64_t totalBytes_;
    uint64_t firstRowAt_;
};

void MakeRoom(TimeSeries& series, const RowBudget& budget, uint64_t consumed) {
    if (series.times.size() < series.times.capacity()) return;
    const std::size_t room = budget.Room(series.times.size(), consumed);
    if (room == 0) return;
    series.times.reserve(room);
    for (std::vector<float>& column : series.columns)
        column.reserve(room);
}

bool ReadFieldRows(LineReader& lines, uint64_t totalBytes, TimeSeries* series, std::string* error) {
    TimeSeries result;
    result.names = {"x_mg", "y_mg", "z_mg", "emf_mg", "ef_vm"};
    result.columns.resize(kFieldColumns);
    const RowBudget budget(totalBytes, lines.Consumed());
    std::string_view line;
    while (lines.Next(&line)) {
        const std::size_t i = lines.Index();
        std::string_view fields[kFieldColumns + 1];
        int64_t time = 0;
        if (SplitFields(line, fields, kFieldColumns + 1) != kFieldColumns + 1 ||
            !ReadRowTime(fields[0], &time))
            return Refuse(error, i, "not a row of the recording");
        if (!Ascending(result.times, time)) return Refuse(error, i, "time goes back");
        float values[kFieldColumns] = {};
        for (std::size_t c = 0; c < kFieldColumns; ++c)
            if (!ReadWhole(fields[c + 1], &values[c])) return Refuse(error, i, "not a number");
        MakeRoom(result, budget, lines.Consumed());
        result.times.push_back(time);
        for (std::size_t c = 0; c < kFieldColumns; ++c)
            result.columns[c].push_back(values[c]);
    }
    if (!EndedWhole(lines, error)) return false;
    *series = std::move(result);
    return true;
}

bool ParseSpectrumHeader(std::string_view line, SpectrumRow* bins) {
    std::array<std::string_view, kSpectrumBins + 1> fields;
    if (SplitFields(line, fields.data(), fields.size()) != fields.size() || fields[0] != "time")
        return false;
    const std::string_view prefix = kSpectrumColumnPrefix;
    const std::string_view suffix = kSpectrumColumnSuffix;
    for (int bin = 0; bin < kSpectrumBins; ++bin) {
        std::string_view name = fields[bin + 1];
        if (name.size() <= prefix.size() + suffix.size() ||
            name.substr(0, prefix.size()) != prefix ||
            name.substr(name.size() - suffix.size()) != suffix)
            return false;
        name = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
        if (!ReadWhole(name, &bins->frequencyHz[bin])) return false;
    }
    return true;
}

int64_t MedianStep(const std::vector<SpectrumRow>& rows) {
    std::vector<int64_t> steps;
    steps.reserve(rows.size());
    for (std::size_t i = 1; i < rows.size(); ++i)
        steps.push_back(rows[i].time - rows[i - 1].time);
    if (steps.empty()) return 1;
    std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
    return std::max<int64_t>(1, steps[steps.size() / 2]);
}

bool ReadSpectrumSweep(std::string_view line, SpectrumRow* row) {
    std::array<std::string_view, kSpectrumBins + 1> fields;
    if (SplitFields(line, fields.data(), fields.size()) != fields.size() ||
        !ReadRowTime(fields[0], &row->time))
        return false;
    for (int bin = 0; bin < kSpectrumBins; ++bin) {
        int level = 0;
        if (!ReadWhole(fields[bin + 1], &level) || level < -128 || level > 127) return false;
        row->dbm[bin] = static_cast<int8_t>(level);
    }
    return true;
}

bool ReadSpectrumRows(LineReader& lines, std::string_view header, uint64_t totalBytes,
                      SpectrumSeries* series, std::string* error) {
    SpectrumRow bins;
    if (!ParseSpectrumHeader(header, &bins)) return Refuse(error, 0, "not a spectrum recording");
    SpectrumSeries result;
    const RowBudget budget(totalBytes, lines.Consumed());
    std::string_view line;
    while (lines.Next(&line)) {
        const std::size_t i = lines.Index();
        if (line.rfind("time,", 0) == 0) {  // the band changed: a new header
            if (!ParseSpectrumHeader(line, &bins)) return Refuse(error, i, "not a header");
            continue;
        }
        SpectrumRow row = bins;
        if (!ReadSpectrumSweep(line, &row)) return Refuse(error, i, "not a sweep in dBm");
        // Two sweeps may fall in one second; only a time before the last is wrong.
        if (!result.rows.empty() && row.time < result.rows.back().time)
            return Refuse(error, i, "time goes back");
        if (result.rows.size() == result.rows.capacity())
            if (std::size_t room = budget.Room(result.rows.size(), lines.Consumed()))
                result.rows.reserve(room);
        result.rows.push_back(row);
    }
    if (!EndedWhole(lines, error)) return false;
    // Sweeps come as the meter answers: only a pause well past the usual step is a gap.
    result.longestStep = MedianStep(result.rows) * 5 / 2;
    *series = std::move(result);
    return true;
}

constexpr std::size_t kHistoryHeaderLines = 3;
constexpr std::size_t kHistoryFields = 7;

struct HistoryRow {
    int64_t time;
    float emf, ef, rf;
    std::string source;
};

bool ReadHistoryRows(LineReader& lines, std::string_view firstLine, TimeSeries* series,
                     std::string* error) {
    std::string_view line;
    if (firstLine.find("Data Logged History") == std::string_view::npos)
        return Refuse(error, 0, "not a history table");
    for (std::size_t i = 1; i < kHistoryHeaderLines; ++i)
        if (!lines.Next(&line))
            return EndedWhole(lines, error) && Refuse(error, 0, "not a history table");
    std::vector<HistoryRow> rows;
    while (lines.Next(&line)) {
        const std::size_t i = lines.Index();
        std::string_view fields[kHistoryFields];
        const std::size_t count = SplitFields(line, fields, kHistoryFields);
        HistoryRow row{};
        if (!ParseHistoryDate(fields[0], &row.time)) return Refuse(error, i, "not a date");
        if (count == 1) continue;  // a time stamp without readings
        if (count != kHistoryFields || !ReadWhole(fields[1], &row.emf) ||
            !ReadWhole(fields[2], &row.ef) || !ReadWhole(fields[5], &row.rf))
            return Refuse(error, i, "not a reading");
        row.source = fields[6];
        rows.push_back(std::move(row));
    }
    if (!EndedWhole(lines, error)) return false;
    // The meter's clock may have been set back between sessions: the view wants time order.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const HistoryRow& a, const HistoryRow& b) { return a.time < b.time; });
    TimeSeries result;
    result.names = {"emf_mg", "ef_vm", "rf_pw_cm2"};
    result.columns.resize(3);
    result.clock = ClockTimes::AsWritten;
    for (HistoryRow& row : rows) {
        if (!Ascending(result.times, row.time)) continue;  // a second logged twice: first kept
        result.times.push_back(row.time);
        result.columns[0].push_back(row.emf);
        result.columns[1].push_back(row.ef);
        result.columns[2].push_back(row.rf);
        result.sources.push_back(std::move(row.source));
    }
    *series = std::move(result);
    return true;
}

// The first line of a text and a reader that goes on after it.
struct OpenedText {
    explicit OpenedText(std::istream& in) : lines(in) {
        std::string_view line;
        if (lines.Next(&line)) first = line;
    }
    LineReader lines;
    std::string first;
};

bool IsDumpName(const std::string& path) {
    return path.size() >= 4 && path.compare(path.size() - 4, 4, ".bin") == 0;
}

// A history dump is no text: it is read whole (it is never more than the meter's memory)
// and decoded into its table.
bool ReadHistoryDump(std::istream& in, uint64_t size, TimeSeries* series, std::string* why) {
    if (size > static_cast<uint64_t>(kHistoryMaxBytes)) {
        *why = "larger than the meter's memory";
        return false;
    }
    in.clear();
    in.seekg(0);
    std::string dump(static_cast<std::size_t>(size), '\0');
    in.read(dump.data(), static_cast<std::streamsize>(size));
    dump.resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
        *why = "cannot be read";
        return false;
    }
    const std::string csv = HistoryCsvText(reinterpret_cast<const uint8_t*>(dump.data()),
                                           dump.size(), HistoryDateStyle::Iso);
    return ParseHistoryCsv(csv, series, why);
}

bool ReadOpenedRecording(std::istream& in, const std::string& path, uint64_t size,
                         RecordingKind* kind, TimeSeries* series, SpectrumSeries* spectrum,
                         std::string* why) {
    OpenedText text(in);
    if (text.lines.Problem() && !IsDumpName(path)) return Refuse(why, 0, text.lines.Problem());
    if (!DetectRecordingKind(path, text.first, kind)) {
        *why = "not a recording or history file";
        return false;
    }
    if (IsDumpName(path)) return ReadHistoryDump(in, size, series, why);
    if (*kind == RecordingKind::Field) {
        if (text.first != kFieldRecordingHeader) return Refuse(why, 0, "not a field recording");
        return ReadFieldRows(text.lines, size, series, why);
    }
    if (*kind == RecordingKind::Spectrum)
        return ReadSpectrumRows(text.lines, text.first, size, spectrum, why);
    return ReadHistoryRows(text.lines, text.first, series, why);
}

}  // namespace

bool DetectRecordingKind(const std::string& path, const std::string& firstLine,
                         RecordingKind* kind) {
    const std::string_view line = std::string_view(firstLine).substr(0, firstLine.find('\r'));
    if (line == kFieldRecordingHeader)
        *kind = RecordingKind::Field;
    else if (line.rfind(std::string("time,") + kSpectrumColumnPrefix, 0) == 0)
        *kind = RecordingKind::Spectrum;
    else if (line.find("Data Logged History") != std::string_view::npos)
        *kind = RecordingKind::History;
    else if (IsDumpName(path))
        *kind = RecordingKind::History;
    else
        return false;
    return true;
}

bool ParseFieldRecording(const std::string& text, TimeSeries* series, std::string* error) {
    std::istringstream in(text);
    OpenedText opened(in);
    if (opened.first != kFieldRecordingHeader) return Refuse(error, 0, "not a field recording");
    return ReadFieldRows(opened.lines, text.size(), series, error);
}

bool ParseSpectrumRecording(const std::string& text, SpectrumSeries* series, std::string* error) {
    std::istringstream in(text);
    OpenedText opened(in);
    return ReadSpectrumRows(opened.lines, opened.first, text.size(), series, error);
}

bool ParseHistoryCsv(const std::string& text, TimeSeries* series, std::string* error) {
    std::istringstream in(text);
    OpenedText opened(in);
    return ReadHistoryRows(opened.lines, opened.first, series, error);
}

bool LoadRecording(const std::string& path, RecordingKind* kind, TimeSeries* series,
                   SpectrumSeries* spectrum, std::string* error) {
    std::error_code status;
    const bool regular = std::filesystem::is_regular_file(Utf8Path(path), status);
    std::ifstream in;
    if (regular) in.open(Utf8Path(path), std::ios::binary);
    if (!in) {
        // A pipe or a device is refused before it is opened: it might never end.
        if (error)
            *error = path + (regular ? ": " + std::string(std::strerror(errno)) : ": not a file");
        return false;
    }
    const std::uintmax_t size = std::filesystem::file_size(Utf8Path(path), status);
    std::string why;
    bool read = false;
    try {
        read = ReadOpenedRecording(in, path, status ? 0 : size, kind, series, spectrum, &why);
    } catch (const std::bad_alloc&) {
        why = "too large to hold in memory";
    } catch (const std::length_error&) {
        why = "too large to hold in memory";
    }
    if (!read && error) *error = path + ": " + why;
    return read;
}

bool ParseWrittenTime(const std::string& text, int64_t* time) {
    int64_t instant = 0;
    if (ParseIsoTime(text, &instant)) {  // an instant: the local clock showed it so
        *time = instant + LocalOffsetSeconds(static_cast<std::time_t>(instant));
        return true;
    }
    std::string full = text;
    if (full.size() == 10) full += " 00:00:00";
    if (full.size() == 16) full += ":00";
    if (full.size() == 19 && full[10] == 'T') full[10] = ' ';
    return full.size() == 19 && full[4] == '-' && ParseHistoryDate(full, time);
}
