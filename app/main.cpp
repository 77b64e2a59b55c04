// ferrolog: the desktop companion of the field meters.

#include <QApplication>
#include <cstdio>

#include "app/field_meter_app.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    AppOptions options;
    QString error;
    if (!ParseAppOptions(QApplication::arguments().mid(1), &options, &error)) {
        std::fprintf(stderr,
                     "ferrolog: %s\nusage: ferrolog [--simulate[=MODEL]] [--port N=PATH].. "
                     "[--only-mapped] [--snapshot FILE.png [--after MS]]\n",
                     error.toLocal8Bit().constData());
        return 2;
    }
    return CFieldMeterApp().Run(options);
}
