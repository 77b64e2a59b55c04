#pragma once
// What every ferrolog-cli job shares: the parsed command line and the road to the meter.
// Standard output carries only a job's data; every message goes to standard error.

#include <cstdio>
#include <string>
#include <vector>

#include "link/meter_identity.h"
#include "link/serial_port.h"

// Exit statuses: 0 the job did exactly what was asked, 1 it failed, 2 the command line was
// wrong (nothing was done).
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct CliOptions {
    int com = 0;                    // --com N (0: scan first)
    bool onlyMapped = false;        // --only-mapped: no COM numbers from the system
    bool verbose = false;           // --verbose
    bool json = false;              // --json: data as JSON on stdout
    bool help = false;              // --help, -h
    bool version = false;           // --version
    std::string command;            // the job
    std::vector<std::string> args;  // the job's own words
};

// Parses argv; on a malformed line (an unknown option before the job included) gives the
// reason and returns false.
// The port mappings it names (--port, --device, the system's ports) go into ports.
bool ParseCliOptions(int argc, char** argv, CliOptions* options, std::string* error,
                     PortTable& ports);

// Prints "ferrolog-cli: TEXT" on stderr and returns kExitUsage.
int RefuseUsage(const std::string& text);

// A job that takes no words of its own refuses any.
bool RefuseArgs(const CliOptions& options, int* status);

// Prints the program's texts the way a console shows them: on stderr. A scan's pauses are
// taken on the port's clock.
class ConsoleView : public DiscoveryView {
  public:
    ConsoleView(bool verbose, const CSerialPort& port)
        : verbose_(verbose), ports_(port.Ports()), clock_(port.clock()) {}
    void SelectPortIndex(int index) override;
    void SetAutoCaption(const std::string&) override {}
    void HideScanningPanel() override {}
    void ShowMessage(const std::string& text) override;
    void Sleep(int milliseconds) override { clock_.SleepMs(milliseconds); }

  private:
    bool verbose_;
    const PortTable& ports_;
    Clock& clock_;
};

// Finds and identifies the meter: on --com N by identification, otherwise by a scan.
// Prints the device message or the failure (with a hint when the system refused the port)
// on stderr.
bool ConnectMeter(const CliOptions& options, MeterLink& link);

// Opens the port the job names without asking the meter anything (the key jobs, which
// send without a reply): --com N, or a scan when none is given.
bool OpenMeterPort(const CliOptions& options, MeterLink& link);

// Adds the system's reason to a failed open, with a hint for the commonest one.
void ExplainOpenFailure(const MeterLink& link);

// Scans COM1..COM32; when no meter answers, says on stderr per port why, with hints.
bool ScanAndExplain(MeterLink& link, ConsoleView& view);

// True (after printing kMeterDisconnected) when the last exchange found the meter gone.
bool ReportIfDisconnected(const MeterLink& link);

int RunPorts(const CliOptions& options, MeterLink& link);
int RunScan(const CliOptions& options, MeterLink& link);
int RunIdentify(const CliOptions& options, MeterLink& link);
int RunSend(const CliOptions& options, MeterLink& link);
int RunKey(const CliOptions& options, MeterLink& link);
int RunHold(const CliOptions& options, MeterLink& link);
