#include "tests/support/cli_in_process.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <iterator>

#include "cli/cli_context.h"
#include "cli/cli_jobs.h"
#include "tests/support/simulated_meter.h"

namespace {

// Sends fd (1 or 2) to a fresh temporary file until the capture goes, and gives what it got.
class Capture {
  public:
    explicit Capture(int fd) : fd_(fd), file_(std::tmpfile()), saved_(dup(fd)) {
        dup2(fileno(file_), fd_);
    }
    ~Capture() {
        Restore();
        std::fclose(file_);
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    std::string Text() {
        Restore();
        std::string text;
        std::rewind(file_);
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file_)) > 0;)
            text.append(buffer, n);
        return text;
    }

  private:
    void Restore() {
        if (saved_ < 0) return;
        dup2(saved_, fd_);
        close(saved_);
        saved_ = -1;
    }

    int fd_;
    std::FILE* file_;
    int saved_;
};

// The signals a job may take over (a recording stops on them, ignores SIGPIPE), given back as
// they were when the job returns: its handler would raise a flag that went with the job.
class SignalsKept {
  public:
    SignalsKept() {
        for (size_t i = 0; i < std::size(kSignals); ++i)
            sigaction(kSignals[i], nullptr, &saved_[i]);
    }
    ~SignalsKept() {
        for (size_t i = 0; i < std::size(kSignals); ++i)
            sigaction(kSignals[i], &saved_[i], nullptr);
    }
    SignalsKept(const SignalsKept&) = delete;
    SignalsKept& operator=(const SignalsKept&) = delete;

  private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
    struct sigaction saved_[std::size(kSignals)]{};
};

}  // namespace

ProgramResult RunCliInProcess(MeterLink& link, const std::vector<std::string>& line) {
    std::vector<std::string> args = {"ferrolog-cli"};
    args.insert(args.end(), line.begin(), line.end());
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    std::fflush(stdout);
    std::fflush(stderr);
    Capture out(STDOUT_FILENO), err(STDERR_FILENO);
    ProgramResult result;
    CliOptions options;
    std::string error;
    if (!ParseCliOptions(static_cast<int>(args.size()), argv.data(), &options, &error,
                         link.port.Ports())) {
        std::fprintf(stderr, "ferrolog-cli: %s\n", error.c_str());
        result.exitCode = kExitUsage;
    } else {
        const SignalsKept signals;
        result.exitCode = RunCliJob(options, link);
        link.port.Close();
    }
    std::fflush(stdout);
    std::fflush(stderr);
    result.out = out.Text();
    result.err = err.Text();
    return result;
}

ProgramResult RunCliInProcess(InProcessMeter& meter, const std::vector<std::string>& words) {
    std::vector<std::string> args = {"--device", kInProcessDevice};
    args.insert(args.end(), words.begin(), words.end());
    return RunCliInProcess(meter.link, args);
}

ProgramResult RunCliOnInProcessMeter(const std::vector<std::string>& meterArgs,
                                     const std::vector<std::string>& words) {
    InProcessMeter meter(meterArgs);
    if (meter.meter.Ok()) return RunCliInProcess(meter, words);
    ProgramResult refused;
    refused.exitCode = kExitUsage;
    refused.err = meter.meter.Error();
    return refused;
}
