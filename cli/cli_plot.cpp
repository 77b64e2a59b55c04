// plot FILE --png OUT: a measurement file's graph, drawn by the window's own painters off
// screen, or a recording's or history's long-term view (trend or waterfall), saved as a PNG
// picture (or, with "--png -", written to stdout). The painters need QtGui, so the picture
// is drawn by ferrolog-draw, which comes with the window: this tool links no Qt library.

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_measure.h"
#include "cli/cli_numbers.h"
#include "cli/draw_program.h"
#include "link/meter_identity.h"
#include "link/utf8_path.h"
#include "measure/measurement.h"
#include "measure/measurement_file.h"
#include "measure/whole_file.h"
#include "record/recording_file.h"
#include "record/recording_reader.h"

namespace {

constexpr double kHighestRevision = 99.99;

constexpr int kLargestSide = 10000;

struct PlotOptions {
    std::string input;
    std::string png;
    std::optional<float> revision;  // the curves a field file is converted with
    int width = 0;                  // --size WxH; 0: the kind's own size
    int height = 0;
    // --from / --to: the span of a long-term view, read on the clock of the file's times
    std::optional<std::string> from;
    std::optional<std::string> to;
};

// "1200x600", each side 16 to 10000 pixels.
bool ParseSize(const std::string& text, int* width, int* height) {
    const size_t x = text.find('x');
    int64_t w = 0;
    int64_t h = 0;
    if (x == std::string::npos || !ParseInteger(text.substr(0, x), 16, kLargestSide, &w) ||
        !ParseInteger(text.substr(x + 1), 16, kLargestSide, &h))
        return false;
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

// A moment on the clock the file's times keep: a history's as written, else the local one.
bool ReadTime(const std::string& text, ClockTimes clock, int64_t* time) {
    return clock == ClockTimes::AsWritten ? ParseWrittenTime(text, time)
                                          : ParseUserTime(text, time);
}

// --from / --to on that clock; false when one does not read on it or they are out of order.
bool SpanLimits(const PlotOptions& plot, ClockTimes clock, std::optional<int64_t>* from,
                std::optional<int64_t>* to) {
    if (plot.from && !ReadTime(*plot.from, clock, &from->emplace())) return false;
    if (plot.to && !ReadTime(*plot.to, clock, &to->emplace())) return false;
    return !*from || !*to || **from < **to;
}

// A time that reads on either clock; whether it is before --to is known on the file's.
bool IsTime(const std::optional<std::string>& text) {
    int64_t time = 0;
    return !text || ReadTime(*text, ClockTimes::Local, &time) ||
           ReadTime(*text, ClockTimes::AsWritten, &time);
}

bool ParsePlotOptions(const std::vector<std::string>& args, PlotOptions* plot) {
    for (size_t i = 0; i < args.size(); ++i) {
        double revision = 0;
        if (args[i] == "--png" && i + 1 < args.size()) {
            plot->png = args[++i];
        } else if (args[i] == "--revision" && i + 1 < args.size()) {
            if (!ParseReal(args[++i], 0.0, kHighestRevision, &revision)) return false;
            plot->revision = static_cast<float>(revision);
        } else if (args[i] == "--size" && i + 1 < args.size()) {
            if (!ParseSize(args[++i], &plot->width, &plot->height)) return false;
        } else if (args[i] == "--from" && i + 1 < args.size()) {
            plot->from = args[++i];
        } else if (args[i] == "--to" && i + 1 < args.size()) {
            plot->to = args[++i];
        } else if (plot->input.empty() && args[i].rfind("-", 0) != 0) {
            plot->input = args[i];
        } else {
            return false;
        }
    }
    return IsTime(plot->from) && IsTime(plot->to) && !plot->input.empty() && !plot->png.empty();
}

constexpr const char* kStandardOutput = "-";

// "--png -" sends the picture down a pipe instead of into a file.
bool WritePicture(const std::string& target, const std::string& png, std::string* error) {
    if (target != kStandardOutput) return WriteFileWhole(target, png, error);
    const bool written =
        std::fwrite(png.data(), 1, png.size(), stdout) == png.size() && std::fflush(stdout) == 0;
    if (!written) *error = std::strerror(errno);
    return written;
}

int RefuseInput(LoadStatus status, const std::string& path) {
    const char* text =
        status == LoadStatus::kNotMeasurement ? kNotMeasurementFile : kFailedToOpenFile;
    std::fprintf(stderr, "%s (%s)\n", text, path.c_str());
    return kExitFailed;
}

}  // namespace

namespace {

constexpr const char* kPlotUsage =
    "usage: plot FILE --png OUT.png|- [--revision X.YZ] [--size WxH] [--from TIME] [--to TIME]\n"
    "  a field measurement file is converted with the meter's firmware revision: --revision, "
    "or the meter's own (--com N / --device PATH)";

int SavePicture(const PlotOptions& plot, const std::vector<std::string>& job) {
    std::string png;
    std::string error = "the picture could not be drawn";
    if (!RunDrawProgram(DrawProgram(), job, &png) || !WritePicture(plot.png, png, &error)) {
        std::fprintf(stderr, "ferrolog-cli: cannot write %s: %s\n", plot.png.c_str(),
                     error.c_str());
        return kExitFailed;
    }
    if (plot.png != kStandardOutput) std::printf("%s\n", plot.png.c_str());
    return 0;
}

template <typename Number>
std::string Text(Number number) {
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, number);
    return std::string(text, written.ptr);
}

// The span to draw: --from / --to, or the whole recording.
bool SpanOf(std::optional<int64_t> from, std::optional<int64_t> to, int64_t first, int64_t last,
            int64_t* t0, int64_t* t1) {
    *t0 = from.value_or(first);
    *t1 = to.value_or(std::max(last, first + 1));
    if (*t1 <= *t0) *t1 = *t0 + 1;
    return *t0 <= last && *t1 >= first;
}

// Empty for anything but a regular file: a pipe or a device is never read here.
std::string FirstLine(const std::string& path) {
    constexpr std::streamsize kLongestHeader = 4096;
    std::error_code error;
    if (!std::filesystem::is_regular_file(Utf8Path(path), error)) return {};
    std::ifstream in(Utf8Path(path), std::ios::binary);
    std::string line(kLongestHeader, '\0');
    in.read(line.data(), kLongestHeader);
    line.resize(static_cast<size_t>(in.gcount()));
    return line.substr(0, line.find('\n'));
}

bool IsDumpName(const std::string& path) {
    return path.size() > 4 && path.compare(path.size() - 4, 4, ".bin") == 0;
}

int PlotLongTerm(const PlotOptions& plot) {
    RecordingKind kind{};
    TimeSeries series;
    SpectrumSeries spectrum;
    std::string error;
    if (!LoadRecording(plot.input, &kind, &series, &spectrum, &error)) {
        std::fprintf(stderr, "%s (%s)\n", kNotMeasurementFile, error.c_str());
        return kExitFailed;
    }
    const bool sweeps = kind == RecordingKind::Spectrum;
    if (sweeps ? spectrum.rows.empty() : series.times.empty()) {
        std::fprintf(stderr, "ferrolog-cli: %s holds no readings\n", plot.input.c_str());
        return kExitFailed;
    }
    std::optional<int64_t> from;
    std::optional<int64_t> to;
    if (!SpanLimits(plot, series.clock, &from, &to)) return RefuseUsage(kPlotUsage);
    const int64_t first = sweeps ? spectrum.rows.front().time : series.times.front();
    const int64_t last = sweeps ? spectrum.rows.back().time : series.times.back();
    int64_t t0 = 0;
    int64_t t1 = 0;
    if (!SpanOf(from, to, first, last, &t0, &t1)) {
        std::fprintf(stderr, "ferrolog-cli: %s holds no readings between --from and --to\n",
                     plot.input.c_str());
        return kExitFailed;
    }
    return SavePicture(
        plot, {"long-term", plot.input, Text(t0), Text(t1), Text(plot.width), Text(plot.height)});
}

// A field file holds the meter's raw counts, whose conversion depends on its firmware
// revision: --revision, or the revision of the meter named (asked now).
bool TakeRevision(const CliOptions& options, MeterLink& link, const PlotOptions& plot,
                  int* status) {
    if (plot.revision) {
        link.FirmwareRevision = *plot.revision;
        return true;
    }
    if (options.com != 0) {
        if (ConnectMeter(options, link)) return true;
        *status = kExitFailed;
        return false;
    }
    *status = RefuseUsage(plot.input +
                          " holds raw field counts whose conversion depends on the meter's "
                          "firmware revision: give --revision X.YZ, or the meter with --com N "
                          "or --device PATH");
    return false;
}

// A file with fewer numbers than its kind holds would be drawn with made-up bytes.
int RefuseShort(const std::string& path, uint8_t kind, std::size_t stored) {
    const std::size_t whole = MeasurementLength(kind);
    if (stored == 0)
        std::fprintf(stderr, "%s (%s: empty)\n", kNotMeasurementFile, path.c_str());
    else
        std::fprintf(stderr, "%s (%s: %zu of its %zu numbers)\n", kNotMeasurementFile, path.c_str(),
                     stored, whole);
    return kExitFailed;
}

}  // namespace

int RunPlot(const CliOptions& options, MeterLink& link) {
    PlotOptions plot;
    if (!ParsePlotOptions(options.args, &plot)) return RefuseUsage(kPlotUsage);
    if (DrawProgram().empty()) {
        std::fprintf(stderr,
                     "ferrolog-cli: plot --png needs the ferrolog package, whose "
                     "ferrolog-draw draws the picture: apt-get install ferrolog\n");
        return kExitFailed;
    }
    // A recording or a history table says so in its first line; a history dump is binary,
    // which no measurement file is.
    RecordingKind kind{};
    if (DetectRecordingKind("", FirstLine(plot.input), &kind)) return PlotLongTerm(plot);
    Measurement reading;
    std::size_t stored = 0;
    const LoadStatus status = LoadMeasurementFile(plot.input, reading.kind, reading.bytes, &stored);
    if (status == LoadStatus::kNotMeasurement && IsDumpName(plot.input)) return PlotLongTerm(plot);
    if (status != LoadStatus::kLoaded) return RefuseInput(status, plot.input);
    if (stored < MeasurementLength(reading.kind))
        return RefuseShort(plot.input, reading.kind, stored);
    int refused = 0;
    if (reading.kind == kKindField && !TakeRevision(options, link, plot, &refused)) return refused;
    return SavePicture(plot, {"measurement", plot.input, Text(link.FirmwareRevision.load()),
                              Text(plot.width), Text(plot.height)});
}
