#pragma once
// Starts ferrolog-meter as a child on a fresh pseudo-terminal and stops it again, for tests
// that cross the real link.

#include <sys/types.h>

#include <string>
#include <vector>

class MeterProcess {
  public:
    // Starts the meter with the given extra arguments (e.g. {"--model", "ZTX430"}).
    explicit MeterProcess(std::vector<std::string> args = {});
    ~MeterProcess();
    MeterProcess(const MeterProcess&) = delete;
    MeterProcess& operator=(const MeterProcess&) = delete;

    // The pseudo-terminal's device path the meter printed; empty when it failed to start.
    const std::string& DevicePath() const { return devicePath_; }
    bool Running() const;
    void Stop();

  private:
    pid_t pid_ = -1;
    std::string devicePath_;
};

// Reads a meter's --log file: one frame a line, in hex.
std::vector<std::string> ReadLogLines(const std::string& path);

// Runs a program to its end, returning its exit code and what it printed.
struct ProgramResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         int timeoutMs = 60000);
