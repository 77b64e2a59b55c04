#include "app/field_meter_app.h"

#include <QTimer>
#include <clocale>
#include <cstdio>

#include "app/main_dialog.h"
#include "app/simulated_meter.h"
#include "link/message_seam.h"
#include "link/port_table.h"
#include "link/serial_port.h"
#include "ui/message_box.h"

bool ParseAppOptions(const QStringList& args, AppOptions* options, QString* error) {
    for (int i = 0; i < args.size(); ++i) {
        const QString& word = args[i];
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
            bool ok = false;
            options->snapshotAfterMs = value("--after").toInt(&ok);
            if (!ok || options->snapshotAfterMs < 0) {
                *error = QStringLiteral("--after takes milliseconds");
                return false;
            }
        } else {
            *error = QStringLiteral("unknown argument %1").arg(word);
            return false;
        }
    }
    return true;
}

namespace {

void MapPorts(const AppOptions& options) {
    for (const std::string& mapping : options.portMappings) {
        int n = 0;
        std::string path;
        if (ParsePortMapping(mapping, &n, &path)) PortTable::Instance().Map(n, path);
    }
}

// Without a display to click OK on, messages go to the console.
void ScheduleSnapshot(CMainDlg& dialog, const AppOptions& options) {
    SetMessageHandler([](const std::string& text) { std::printf("message: %s\n", text.c_str()); });
    QTimer::singleShot(options.snapshotAfterMs, &dialog, [&dialog, file = options.snapshotFile] {
        if (dialog.grab().save(file, "PNG"))
            std::printf("snapshot: %s\n", file.toLocal8Bit().constData());
        else
            std::fprintf(stderr, "ferrolog: cannot write %s\n", file.toLocal8Bit().constData());
        std::fflush(stdout);
        dialog.reject();
    });
}

}  // namespace

int CFieldMeterApp::Run(const AppOptions& options) {
    // The toolkit adopted the user's locale; numbers in files and messages keep a decimal point.
    std::setlocale(LC_NUMERIC, "C");
    MapPorts(options);
    SimulatedMeter meter;
    if (options.simulate) {
        // The virtual meter takes COM1 before the system's ports fill the rest.
        if (!meter.Start(options.simulatedModel)) {
            std::fprintf(stderr, "ferrolog: %s\n", meter.Error().toLocal8Bit().constData());
            return 1;
        }
    }
    if (!options.onlyMapped) PortTable::Instance().FillFromSystem();
    int status = 0;
    {
        CMainDlg dialog;
        InstallMessageBoxes(&dialog);
        if (!options.snapshotFile.isEmpty()) ScheduleSnapshot(dialog, options);
        dialog.exec();
        SetMessageHandler(nullptr);
    }
    MeterPort.Close();
    meter.Stop();
    return status;
}
