#pragma once
// CFieldMeterApp: reads the command line, maps the COM numbers, starts the virtual meter when
// asked, and runs the main window modally; the program ends when it closes.

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

struct AppOptions {
    std::vector<std::string> portMappings;  // --port N=PATH
    bool onlyMapped = false;                // --only-mapped
    bool simulate = false;                  // --simulate[=MODEL]
    QString simulatedModel;
    QString snapshotFile;        // --snapshot FILE
    int snapshotAfterMs = 3000;  // --after MS
    QStringList meterOptions;    // --meter-option WORD, passed on to the --simulate meter
    bool showHelp = false;       // --help, -h
    bool showVersion = false;    // --version
    bool toolkitStyle = false;   // -style NAME: the toolkit's style, not Fusion
};

// The usage text of --help.
extern const char* const kAppUsage;

// Parses the arguments after the program name; false with a reason on a malformed line or a
// --port mapping to a path that does not exist. The toolkit's own options (-platform NAME,
// -style=NAME, ...) are passed over, for QApplication to take. Needs no QApplication.
bool ParseAppOptions(const QStringList& args, AppOptions* options, QString* error);

class CFieldMeterApp {
  public:
    // Returns the process exit status.
    int Run(const AppOptions& options);
};
