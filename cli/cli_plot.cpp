// plot FILE --png OUT: a measurement file's graph, drawn by the window's own painters off
// screen, saved as a PNG picture (or, with "--png -", written to stdout).

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QLocale>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/cli_measure.h"
#include "cli/cli_numbers.h"
#include "graph/plot_render.h"
#include "link/meter_identity.h"
#include "measure/measurement.h"
#include "measure/measurement_file.h"
#include "measure/whole_file.h"

namespace {

constexpr double kHighestRevision = 99.99;

struct PlotOptions {
    std::string input;
    std::string png;
    float revision = 0.0f;  // the curves a field file is converted with
};

bool ParsePlotOptions(const std::vector<std::string>& args, PlotOptions* plot) {
    for (size_t i = 0; i < args.size(); ++i) {
        double revision = 0;
        if (args[i] == "--png" && i + 1 < args.size()) {
            plot->png = args[++i];
        } else if (args[i] == "--revision" && i + 1 < args.size()) {
            if (!ParseReal(args[++i], 0.0, kHighestRevision, &revision)) return false;
            plot->revision = static_cast<float>(revision);
        } else if (plot->input.empty() && args[i].rfind("-", 0) != 0) {
            plot->input = args[i];
        } else {
            return false;
        }
    }
    return !plot->input.empty() && !plot->png.empty();
}

// The whole picture in memory first, so a full disk never leaves half a PNG behind.
bool EncodePng(const QImage& image, std::string* bytes) {
    QByteArray data;
    QBuffer buffer(&data);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return false;
    bytes->assign(data.constData(), static_cast<size_t>(data.size()));
    return true;
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

int RunPlot(const CliOptions& options) {
    PlotOptions plot;
    if (!ParsePlotOptions(options.args, &plot))
        return RefuseUsage("usage: plot FILE --png OUT.png|- [--revision X.YZ]");
    const LoadStatus status = LoadCurrentMeasurementFile(plot.input);
    if (status != LoadStatus::kLoaded) return RefuseInput(status, plot.input);
    FirmwareRevision = plot.revision;
    DecodeCurrentMeasurement();
    // Fonts need a GUI application; no display is needed for drawing off screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "ferrolog-cli";
    char* argv[] = {name, nullptr};
    QGuiApplication application(argc, argv);
    // The application takes the user's locale; numbers on the graph keep a decimal point, as
    // the window's do.
    std::setlocale(LC_NUMERIC, "C");
    QLocale::setDefault(QLocale::c());
    std::string png;
    std::string error = "the picture could not be drawn";
    if (!EncodePng(RenderMeasurementImage(), &png) || !WritePicture(plot.png, png, &error)) {
        std::fprintf(stderr, "ferrolog-cli: cannot write %s: %s\n", plot.png.c_str(),
                     error.c_str());
        return kExitFailed;
    }
    if (plot.png != kStandardOutput) std::printf("%s\n", plot.png.c_str());
    return 0;
}
