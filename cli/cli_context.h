#pragma once
// What every ferrolog-cli job shares: the parsed command line and the road to the meter.

#include <cstdio>
#include <string>
#include <vector>

#include "link/meter_identity.h"

struct CliOptions {
    int com = 0;                    // --com N (0: scan first)
    bool onlyMapped = false;        // --only-mapped: no COM numbers from the system
    bool verbose = false;           // --verbose
    std::string command;            // the job
    std::vector<std::string> args;  // the job's own words
};

// Parses argv; on a malformed line prints the reason and returns false.
bool ParseCliOptions(int argc, char** argv, CliOptions* options, std::string* error);

// Prints the program's texts the way a console shows them.
class ConsoleView : public DiscoveryView {
  public:
    ConsoleView(bool verbose, std::FILE* out) : verbose_(verbose), out_(out) {}
    void SelectPortIndex(int index) override;
    void SetAutoCaption(const std::string&) override {}
    void HideScanningPanel() override {}
    void ShowMessage(const std::string& text) override;

  private:
    bool verbose_;
    std::FILE* out_;
};

// Finds and identifies the meter: on --com N by identification, otherwise by a scan.
// Prints the device message or the failure (with a hint when the system refused the port)
// on `messages`: jobs whose output is data keep stdout for the data.
bool ConnectMeter(const CliOptions& options, std::FILE* messages = stdout);

// Opens the port the job names without asking the meter anything (the key jobs, which
// send without a reply): --com N, or a scan when none is given.
bool OpenMeterPort(const CliOptions& options);

// Adds the system's reason to a failed open, with a hint for the commonest one.
void ExplainOpenFailure();

int RunPorts(const CliOptions& options);
int RunScan(const CliOptions& options);
int RunIdentify(const CliOptions& options);
int RunSend(const CliOptions& options);
int RunKey(const CliOptions& options);
int RunHold(const CliOptions& options);
