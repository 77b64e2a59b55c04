// plot FILE --png OUT: a measurement file's graph, drawn by the window's own painters off
// screen, saved as a PNG picture.

#include <QGuiApplication>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/cli_measure.h"
#include "graph/plot_render.h"
#include "link/meter_identity.h"
#include "measure/measurement.h"
#include "measure/measurement_file.h"

namespace {

struct PlotOptions {
    std::string input;
    std::string png;
    float revision = 0.0f;  // the curves a field file is converted with
};

bool ParsePlotOptions(const std::vector<std::string>& args, PlotOptions* plot) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--png" && i + 1 < args.size()) {
            plot->png = args[++i];
        } else if (args[i] == "--revision" && i + 1 < args.size()) {
            plot->revision = std::strtof(args[++i].c_str(), nullptr);
        } else if (plot->input.empty() && args[i].rfind("--", 0) != 0) {
            plot->input = args[i];
        } else {
            return false;
        }
    }
    return !plot->input.empty() && !plot->png.empty();
}

}  // namespace

int RunPlot(const CliOptions& options) {
    PlotOptions plot;
    if (!ParsePlotOptions(options.args, &plot)) {
        std::fprintf(stderr, "usage: plot FILE --png OUT.png [--revision X.YZ]\n");
        return 2;
    }
    if (LoadCurrentMeasurementFile(plot.input) != LoadStatus::kLoaded) {
        std::fprintf(stderr, "%s\n", kFailedToOpenFile);
        return 1;
    }
    FirmwareRevision = plot.revision;
    DecodeCurrentMeasurement();
    // Fonts need a GUI application; no display is needed for drawing off screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int argc = 1;
    char name[] = "ferrolog-cli";
    char* argv[] = {name, nullptr};
    QGuiApplication application(argc, argv);
    QImage image = RenderMeasurementImage();
    if (image.isNull() || !image.save(QString::fromLocal8Bit(plot.png.c_str()), "PNG")) {
        std::fprintf(stderr, "ferrolog-cli: cannot write %s\n", plot.png.c_str());
        return 1;
    }
    std::printf("%s\n", plot.png.c_str());
    return 0;
}
