// ferrolog-draw: the pictures ferrolog-cli's plot saves, drawn by the window's own painters
// off screen. It ships with the window so that the command-line tool links no Qt GUI library:
// plot reads and checks the file and its options, then runs
//   ferrolog-draw measurement FILE REVISION WIDTH HEIGHT
//   ferrolog-draw long-term FILE T0 T1 WIDTH HEIGHT
// and takes the PNG written to standard output. REVISION is the firmware revision a field
// file is converted with, as the shortest text that reads back as the same float; T0 and T1
// the span drawn, in seconds; a WIDTH and HEIGHT of 0 are the kind's own size. A failure says why
// on standard error and exits with status 1.

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QLocale>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "graph/long_term_plot.h"
#include "graph/plot_render.h"
#include "link/meter_identity.h"
#include "link/number_text.h"
#include "measure/measurement.h"
#include "measure/measurement_file.h"
#include "record/recording_reader.h"

namespace {

constexpr int kFailed = 1;

// The whole argument, in the range of the number's type, or false.
template <typename Number>
bool ReadNumber(const char* text, Number* value) {
    const std::optional<Number> number = ParseWholeNumber<Number>(text);
    if (number) *value = *number;
    return number.has_value();
}

// Fonts need a GUI application; no display is needed for drawing off screen.
class OffscreenApplication {
  public:
    OffscreenApplication() {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        application_ = std::make_unique<QGuiApplication>(argc_, argv_);
        // The application takes the user's locale; numbers on the graph keep a decimal
        // point, as the window's do.
        std::setlocale(LC_NUMERIC, "C");
        QLocale::setDefault(QLocale::c());
    }

  private:
    int argc_ = 1;
    char name_[14] = "ferrolog-draw";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QGuiApplication> application_;
};

// The whole picture in memory first, so a failed encoding never sends half a PNG.
int SendPng(const QImage& image) {
    QByteArray data;
    QBuffer buffer(&data);
    if (image.isNull() || !buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
        std::fprintf(stderr, "ferrolog-draw: the picture could not be drawn\n");
        return kFailed;
    }
    const auto size = static_cast<size_t>(data.size());
    if (std::fwrite(data.constData(), 1, size, stdout) != size || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "ferrolog-draw: %s\n", std::strerror(errno));
        return kFailed;
    }
    return 0;
}

// The file is read again here; one changed since plot checked it is refused, never guessed.
int DrawMeasurement(const char* path, float revision, int width, int height) {
    PlotReading shown;
    Measurement& reading = shown.measurement;
    std::size_t stored = 0;
    if (LoadMeasurementFile(path, reading.kind, reading.bytes, &stored) != LoadStatus::kLoaded ||
        stored < MeasurementLength(reading.kind)) {
        std::fprintf(stderr, "%s (%s)\n", kNotMeasurementFile, path);
        return kFailed;
    }
    DecodeMeasurement(reading, revision);
    OffscreenApplication application;
    return SendPng(RenderMeasurementImage(shown, {}, {}, width ? width : kGraphImageWidth,
                                          height ? height : kGraphImageHeight));
}

int DrawLongTerm(const char* path, int64_t t0, int64_t t1, int width, int height) {
    RecordingKind kind{};
    TimeSeries series;
    SpectrumSeries spectrum;
    std::string error;
    if (!LoadRecording(path, &kind, &series, &spectrum, &error)) {
        std::fprintf(stderr, "%s (%s)\n", kNotMeasurementFile, error.c_str());
        return kFailed;
    }
    width = width ? width : kLongTermWidth;
    height = height ? height : kLongTermHeight;
    OffscreenApplication application;
    return SendPng(kind == RecordingKind::Spectrum
                       ? RenderWaterfallImage(spectrum, t0, t1, width, height)
                       : RenderTrendImage(series, t0, t1, width, height));
}

int RefuseArguments() {
    std::fprintf(stderr,
                 "usage: ferrolog-draw measurement FILE REVISION WIDTH HEIGHT\n"
                 "       ferrolog-draw long-term FILE T0 T1 WIDTH HEIGHT\n"
                 "  (run by ferrolog-cli plot)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view job = argc > 1 ? argv[1] : "";
    float revision = 0;
    int64_t t0 = 0;
    int64_t t1 = 0;
    int width = 0;
    int height = 0;
    if (job == "measurement" && argc == 6 && ReadNumber(argv[3], &revision) &&
        ReadNumber(argv[4], &width) && ReadNumber(argv[5], &height))
        return DrawMeasurement(argv[2], revision, width, height);
    if (job == "long-term" && argc == 7 && ReadNumber(argv[3], &t0) && ReadNumber(argv[4], &t1) &&
        ReadNumber(argv[5], &width) && ReadNumber(argv[6], &height))
        return DrawLongTerm(argv[2], t0, t1, width, height);
    return RefuseArguments();
}
