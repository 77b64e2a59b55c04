#pragma once
// CFieldMeterApp: reads the command line, maps the COM numbers, starts the virtual meter when
// asked, and runs the main window modally; the program ends when it closes.

#include <QString>
#include <string>
#include <vector>

struct AppOptions {
    std::vector<std::string> portMappings;  // --port N=PATH
    bool onlyMapped = false;                // --only-mapped
    bool simulate = false;                  // --simulate[=MODEL]
    QString simulatedModel;
    QString snapshotFile;        // --snapshot FILE
    int snapshotAfterMs = 3000;  // --after MS
};

// Parses the arguments after the program name; false with a reason on a malformed line.
bool ParseAppOptions(const QStringList& args, AppOptions* options, QString* error);

class CFieldMeterApp {
  public:
    // Returns the process exit status.
    int Run(const AppOptions& options);
};
