#include "record/recording_reader.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <sstream>
#include <string_view>

#include "history/history_csv.h"

int TimeSeries::Column(const std::string& name) const {
    for (std::size_t c = 0; c < names.size(); ++c)
        if (names[c] == name) return static_cast<int>(c);
    return -1;
}

namespace {

constexpr int64_t kHistoryMaxBytes = 1 << 20;
constexpr std::size_t kFieldColumns = 5;
constexpr std::uintmax_t kLargestRecording = std::uintmax_t{1} << 30;  // years of field rows

// Whole lines of `text` (a last line without its end is left out), CR dropped.
std::vector<std::string_view> WholeLines(const std::string& text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos;
         start = end + 1, end = text.find('\n', start)) {
        std::string_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (std::size_t comma = line.find(','); comma != std::string_view::npos;
         start = comma + 1, comma = line.find(',', start))
        fields.push_back(line.substr(start, comma - start));
    fields.push_back(line.substr(start));
    return fields;
}

template <typename Number>
bool ReadWhole(std::string_view text, Number* value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), *value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool Refuse(std::string* error, std::size_t lineIndex, const char* what) {
    if (error) *error = "line " + std::to_string(lineIndex + 1) + ": " + what;
    return false;
}

bool Ascending(const std::vector<int64_t>& times, int64_t time) {
    return times.empty() || time > times.back();
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
    else if (path.size() >= 4 && path.compare(path.size() - 4, 4, ".bin") == 0)
        *kind = RecordingKind::History;
    else
        return false;
    return true;
}

bool ParseFieldRecording(const std::string& text, TimeSeries* series, std::string* error) {
    const std::vector<std::string_view> lines = WholeLines(text);
    if (lines.empty() || lines[0] != kFieldRecordingHeader)
        return Refuse(error, 0, "not a field recording");
    TimeSeries result;
    result.names = {"x_mg", "y_mg", "z_mg", "emf_mg", "ef_vm"};
    result.columns.resize(kFieldColumns);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string_view> fields = SplitFields(lines[i]);
        int64_t time = 0;
        if (fields.size() != kFieldColumns + 1 || !ParseIsoTime(std::string(fields[0]), &time))
            return Refuse(error, i, "not a row of the recording");
        if (!Ascending(result.times, time)) return Refuse(error, i, "time goes back");
        result.times.push_back(time);
        for (std::size_t c = 0; c < kFieldColumns; ++c) {
            float value = 0;
            if (!ReadWhole(fields[c + 1], &value)) return Refuse(error, i, "not a number");
            result.columns[c].push_back(value);
        }
    }
    *series = std::move(result);
    return true;
}

namespace {

bool ParseSpectrumHeader(std::string_view line, SpectrumRow* bins) {
    const std::vector<std::string_view> fields = SplitFields(line);
    if (fields.size() != kSpectrumBins + 1 || fields[0] != "time") return false;
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

int64_t MedianStep(const std::vector<int64_t>& times) {
    std::vector<int64_t> steps;
    for (std::size_t i = 1; i < times.size(); ++i)
        steps.push_back(times[i] - times[i - 1]);
    if (steps.empty()) return 1;
    std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
    return std::max<int64_t>(1, steps[steps.size() / 2]);
}

}  // namespace

bool ParseSpectrumRecording(const std::string& text, SpectrumSeries* series, std::string* error) {
    const std::vector<std::string_view> lines = WholeLines(text);
    SpectrumRow bins;
    if (lines.empty() || !ParseSpectrumHeader(lines[0], &bins))
        return Refuse(error, 0, "not a spectrum recording");
    SpectrumSeries result;
    std::vector<int64_t> times;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].rfind("time,", 0) == 0) {  // the band changed: a new header
            if (!ParseSpectrumHeader(lines[i], &bins)) return Refuse(error, i, "not a header");
            continue;
        }
        const std::vector<std::string_view> fields = SplitFields(lines[i]);
        SpectrumRow row = bins;
        if (fields.size() != kSpectrumBins + 1 || !ParseIsoTime(std::string(fields[0]), &row.time))
            return Refuse(error, i, "not a row of the recording");
        // Two sweeps may fall in one second; only a time before the last is wrong.
        if (!times.empty() && row.time < times.back()) return Refuse(error, i, "time goes back");
        for (int bin = 0; bin < kSpectrumBins; ++bin) {
            int level = 0;
            if (!ReadWhole(fields[bin + 1], &level) || level < -128 || level > 127)
                return Refuse(error, i, "not a level in dBm");
            row.dbm[bin] = static_cast<int8_t>(level);
        }
        times.push_back(row.time);
        result.rows.push_back(row);
    }
    // Sweeps come as the meter answers: only a pause well past the usual step is a gap.
    result.longestStep = MedianStep(times) * 5 / 2;
    *series = std::move(result);
    return true;
}

namespace {

constexpr std::size_t kHistoryHeaderLines = 3;

// "2026/12/07 01:30:00" or "2026-12-07 01:30:00", the meter's local time.
bool ParseHistoryDate(std::string_view text, int64_t* time) {
    if (text.size() != 19) return false;
    std::tm fields{};
    int numbers[6] = {};
    const std::size_t at[6] = {0, 5, 8, 11, 14, 17};
    const std::size_t width[6] = {4, 2, 2, 2, 2, 2};
    for (int i = 0; i < 6; ++i)
        if (!ReadWhole(text.substr(at[i], width[i]), &numbers[i])) return false;
    fields.tm_year = numbers[0] - 1900;
    fields.tm_mon = numbers[1] - 1;
    fields.tm_mday = numbers[2];
    fields.tm_hour = numbers[3];
    fields.tm_min = numbers[4];
    fields.tm_sec = numbers[5];
    fields.tm_isdst = -1;
    const std::time_t when = std::mktime(&fields);
    if (when == static_cast<std::time_t>(-1)) return false;
    *time = static_cast<int64_t>(when);
    return true;
}

struct HistoryRow {
    int64_t time;
    float emf, ef, rf;
    std::string_view source;
};

}  // namespace

bool ParseHistoryCsv(const std::string& text, TimeSeries* series, std::string* error) {
    const std::vector<std::string_view> lines = WholeLines(text);
    if (lines.size() < kHistoryHeaderLines ||
        lines[0].find("Data Logged History") == std::string_view::npos)
        return Refuse(error, 0, "not a history table");
    std::vector<HistoryRow> rows;
    for (std::size_t i = kHistoryHeaderLines; i < lines.size(); ++i) {
        const std::vector<std::string_view> fields = SplitFields(lines[i]);
        HistoryRow row{};
        if (!ParseHistoryDate(fields[0], &row.time)) return Refuse(error, i, "not a date");
        if (fields.size() == 1) continue;  // a time stamp without readings
        if (fields.size() != 7 || !ReadWhole(fields[1], &row.emf) ||
            !ReadWhole(fields[2], &row.ef) || !ReadWhole(fields[5], &row.rf))
            return Refuse(error, i, "not a reading");
        row.source = fields[6];
        rows.push_back(row);
    }
    // The meter's clock may have been set back between sessions: the view wants time order.
    std::stable_sort(rows.begin(), rows.end(),
                     [](const HistoryRow& a, const HistoryRow& b) { return a.time < b.time; });
    TimeSeries result;
    result.names = {"emf_mg", "ef_vm", "rf_pw_cm2"};
    result.columns.resize(3);
    for (const HistoryRow& row : rows) {
        if (!Ascending(result.times, row.time)) continue;  // a second logged twice: first kept
        result.times.push_back(row.time);
        result.columns[0].push_back(row.emf);
        result.columns[1].push_back(row.ef);
        result.columns[2].push_back(row.rf);
        result.sources.emplace_back(row.source);
    }
    *series = std::move(result);
    return true;
}

bool LoadRecording(const std::string& path, RecordingKind* kind, TimeSeries* series,
                   SpectrumSeries* spectrum, std::string* error) {
    std::error_code status;
    const bool regular = std::filesystem::is_regular_file(path, status);
    if (regular && std::filesystem::file_size(path, status) > kLargestRecording) {
        if (error) *error = path + ": larger than any recording";
        return false;
    }
    std::ifstream in;
    if (regular) in.open(path, std::ios::binary);
    if (!in) {
        // A pipe or a device is refused before it is opened: it might never end.
        if (error)
            *error = path + (regular ? ": " + std::string(std::strerror(errno)) : ": not a file");
        return false;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        if (error) *error = path + ": cannot be read";
        return false;
    }
    const std::string firstLine = text.substr(0, text.find('\n'));
    if (!DetectRecordingKind(path, firstLine, kind)) {
        if (error) *error = path + ": not a recording or history file";
        return false;
    }
    std::string why;
    bool read = false;
    if (*kind == RecordingKind::Field) {
        read = ParseFieldRecording(text, series, &why);
    } else if (*kind == RecordingKind::Spectrum) {
        read = ParseSpectrumRecording(text, spectrum, &why);
    } else if (path.size() >= 4 && path.compare(path.size() - 4, 4, ".bin") == 0) {
        if (static_cast<int64_t>(text.size()) > kHistoryMaxBytes) {
            why = "larger than the meter's memory";
        } else {
            const std::string csv = HistoryCsvText(reinterpret_cast<const uint8_t*>(text.data()),
                                                   text.size(), HistoryDateStyle::Iso);
            read = ParseHistoryCsv(csv, series, &why);
        }
    } else {
        read = ParseHistoryCsv(text, series, &why);
    }
    if (!read && error) *error = path + ": " + why;
    return read;
}
