// ferrolog: the desktop companion of the field meters.

#include <QApplication>
#include <cstdio>

#include "app/field_meter_app.h"
#include "version.h"

int main(int argc, char** argv) {
    // The options are read before the toolkit starts, so --help and --version need no display
    // and a mistake is refused without one; the toolkit's own options are left for
    // QApplication, which takes them out of argv.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    AppOptions options;
    QString error;
    if (!ParseAppOptions(args, &options, &error)) {
        std::fprintf(stderr, "ferrolog: %s\n", error.toLocal8Bit().constData());
        return 2;
    }
    if (options.showHelp) {
        std::fputs(kAppUsage, stdout);
        return 0;
    }
    if (options.showVersion) {
        std::printf("ferrolog %s\n", kFerrologVersion);
        return 0;
    }
    QApplication application(argc, argv);
    if (!options.toolkitStyle) QApplication::setStyle(QStringLiteral("Fusion"));
    return CFieldMeterApp().Run(options);
}
