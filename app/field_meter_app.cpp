#include "app/field_meter_app.h"

#include <QTimer>

#include <clocale>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>

#include "app/close_requests.h"
#include "app/main_dialog.h"
#include "app/simulated_meter.h"
#include "app/view_window.h"
#include "link/message_seam.h"
#include "link/number_text.h"
#include "link/port_diagnosis.h"
#include "link/port_table.h"
#include "link/serial_port.h"
#include "ui/message_box.h"

const char* const kAppUsage =
    "usage: ferrolog [--simulate[=MODEL]] [--meter-option WORD].. [--port N=PATH].. "
    "[--only-mapped]\n"
    "                [--snapshot FILE.png [--after MS]] [--help] [--version]\n"
    "  --simulate[=MODEL]    start a virtual meter as COM1 and stop it on exit\n"
    "  --meter-option WORD   pass WORD on to the virtual meter (e.g. --meter-option --log\n"
    "                        --meter-option FILE)\n"
    "  --port N=PATH         COM N is the device PATH (N from 1 to 32)\n"
    "  --only-mapped         leave the system's serial ports out of the COM table\n"
    "  --snapshot FILE.png   save a picture of the window after --after MS and exit\n"
    "  --help, -h            show this text\n"
    "  --version             show the version\n"
    "Qt's own options (-platform NAME, -style NAME, -stylesheet FILE, -reverse, ...) are left to "
    "Qt.\n";

namespace {

// A mapping must name a device that can stand behind a COM number, as the tool's must; the
// reason is the system's own.
bool CheckMappedPath(const std::string& path, QString* error) {
    const std::string problem = PortMappingProblem(path);
    if (problem.empty()) return true;
    *error = QStringLiteral("--port %1").arg(QString::fromStdString(problem));
    return false;
}

// How many words a toolkit option takes (the option and its value), 0 for a word that is none.
// These are the options QApplication and its platforms take from the command line (with one
// dash or two); the program leaves them to the toolkit rather than refuse them.
int ToolkitOptionWords(QString word) {
    static const QStringList withValue = {
        "-platform",    "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry",
        "-qwindowicon", "-qwindowtitle",       "-session",       "-style",  "-stylesheet",
        "-display",     "-geometry",           "-name",          "-title",  "-visual"};
    static const QStringList flags = {"-reverse", "-widgetcount", "-nograb", "-dograb"};
    static const QStringList withEquals = {"-style=", "-stylesheet=", "-qmljsdebugger="};
    if (word.startsWith(QLatin1String("--"))) word.remove(0, 1);
    if (withValue.contains(word)) return 2;
    if (flags.contains(word)) return 1;
    for (const QString& prefix : withEquals)
        if (word.startsWith(prefix)) return 1;
    return 0;
}

// -style NAME, -style=NAME: the user's choice over the program's Fusion.
bool IsStyleOption(const QString& word) {
    const QString name = word.startsWith(QLatin1String("--")) ? word.mid(1) : word;
    return name == QLatin1String("-style") || name.startsWith(QLatin1String("-style="));
}

}  // namespace

bool ParseAppOptions(const QStringList& args, AppOptions* options, QString* error) {
    for (int i = 0; i < args.size(); ++i) {
        const QString& word = args[i];
        if (const int words = ToolkitOptionWords(word); words > 0) {
            if (i + words > args.size()) {
                *error = QStringLiteral("%1 needs a value").arg(word);
                return false;
            }
            options->toolkitStyle |= IsStyleOption(word);
            i += words - 1;
            continue;
        }
        auto value = [&](const char* what) -> QString {
            if (i + 1 < args.size()) return args[++i];
            *error = QStringLiteral("%1 needs a value").arg(QLatin1String(what));
            return {};
        };
        if (word == QLatin1String("--port")) {
            QString mapping = value("--port");
            int n = 0;
            std::string path;
            if (!ParsePortMapping(mapping.toStdString(), &n, &path)) {
                if (error->isEmpty())
                    *error = QStringLiteral("--port takes N=PATH, N from 1 to 32");
                return false;
            }
            if (!CheckMappedPath(path, error)) return false;
            options->portMappings.push_back(mapping.toStdString());
        } else if (word == QLatin1String("--only-mapped")) {
            options->onlyMapped = true;
        } else if (word == QLatin1String("--simulate") ||
                   word.startsWith(QLatin1String("--simulate="))) {
            options->simulate = true;
            options->simulatedModel = word.section(QLatin1Char('='), 1);
        } else if (word == QLatin1String("--snapshot")) {
            options->snapshotFile = value("--snapshot");
            if (options->snapshotFile.isEmpty()) return false;
        } else if (word == QLatin1String("--after")) {
            const std::optional<int64_t> ms = ParseWholeInteger(value("--after").toStdString(), 0,
                                                                std::numeric_limits<int>::max());
            if (!ms) {
                *error = QStringLiteral("--after takes milliseconds");
                return false;
            }
            options->snapshotAfterMs = static_cast<int>(*ms);
        } else if (word == QLatin1String("--meter-option")) {
            const QString meterWord = value("--meter-option");
            if (!error->isEmpty()) return false;
            options->meterOptions << meterWord;
        } else if (word == QLatin1String("--help") || word == QLatin1String("-h")) {
            options->showHelp = true;
        } else if (word == QLatin1String("--version")) {
            options->showVersion = true;
        } else {
            *error = QStringLiteral("unknown option '%1' (see --help)").arg(word);
            return false;
        }
    }
    return true;
}

namespace {

void MapPorts(const AppOptions& options, PortTable& ports) {
    for (const std::string& mapping : options.portMappings) {
        int n = 0;
        std::string path;
        if (ParsePortMapping(mapping, &n, &path)) ports.Map(n, path);
    }
}

// The picture goes through the one whole-file writer: a failed save leaves nothing under the
// name and makes the exit status 1.
void SaveSnapshot(CMainDlg& dialog, const QString& file, int* status) {
    const std::string path = file.toLocal8Bit().toStdString();
    std::string error;
    if (SavePictureAsPng(dialog.grab().toImage(), path, &error)) {
        std::printf("snapshot: %s\n", path.c_str());
    } else {
        std::fprintf(stderr, "ferrolog: cannot write %s\n", error.c_str());
        *status = 1;
    }
    std::fflush(stdout);
}

// Without a display to click OK on, messages go to the console.
void ScheduleSnapshot(CMainDlg& dialog, const AppOptions& options, int* status) {
    SetMessageHandler([](const std::string& text) { std::printf("message: %s\n", text.c_str()); });
    QTimer::singleShot(options.snapshotAfterMs, &dialog,
                       [&dialog, status, file = options.snapshotFile] {
                           SaveSnapshot(dialog, file, status);
                           dialog.reject();
                       });
}

}  // namespace

int CFieldMeterApp::Run(const AppOptions& options) {
    // The toolkit adopted the user's locale; numbers in files and messages keep a decimal point.
    std::setlocale(LC_NUMERIC, "C");
    MeterLink link;
    PortTable& ports = link.port.Ports();
    MapPorts(options, ports);
    SimulatedMeter meter;
    if (options.simulate) {
        // The virtual meter takes COM1 before the system's ports fill the rest.
        if (!meter.Start(ports, options.simulatedModel, options.meterOptions)) {
            std::fprintf(stderr, "ferrolog: %s\n", meter.Error().toLocal8Bit().constData());
            return 1;
        }
    }
    if (!options.onlyMapped) ports.FillFromSystem();
    int status = 0;
    {
        CMainDlg dialog(link);
        InstallMessageBoxes(&dialog);
        if (!options.snapshotFile.isEmpty()) ScheduleSnapshot(dialog, options, &status);
        std::unique_ptr<QObject> endRequests =
            CloseOnEndRequests(&dialog, [&dialog] { dialog.RequestClose(); });
        dialog.exec();
        SetMessageHandler(nullptr);
    }
    link.port.Close();
    meter.Stop();
    return status;
}
