// ferrolog-cli sync-time and terminal, run as a user runs them, against the virtual meter.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <sstream>

#include "link/number_text.h"
#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr const char* kClockFramePrefix = "3C 53 45 54 44 41 54 45 54 49 4D 45 ";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::vector<std::string> MeterArgs(const std::string& log, std::vector<std::string> extra = {}) {
    extra.insert(extra.end(), {"--fast", "--log", log});
    return extra;
}

// Runs the tool with `input` on its stdin (then closed) and returns what it printed on
// stdout and stderr together.
ProgramResult RunWithInput(std::vector<std::string> args, const std::string& input,
                           int timeoutMs = 20000) {
    ProgramResult result;
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return result;
    std::string program = FERROLOG_CLI_PATH;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(out[1], STDERR_FILENO);
        std::vector<char*> argv = {program.data()};
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    signal(SIGPIPE, SIG_IGN);
    if (write(in[1], input.data(), input.size()) < 0) result.err = "stdin refused";
    close(in[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid, SIGKILL);
            break;
        }
        pollfd pfd{out[0], POLLIN, 0};
        if (poll(&pfd, 1, 100) <= 0) continue;
        char buf[4096];
        const ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0) break;
        result.out.append(buf, static_cast<size_t>(n));
    }
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::vector<int> HexBytes(const std::string& line) {
    std::vector<int> bytes;
    std::istringstream in(line);
    for (std::string pair; in >> pair;)
        bytes.push_back(static_cast<int>(ParseWholeInteger(pair, 0, 255, 16).value_or(-1)));
    return bytes;
}

TEST(CliSyncTime, SetsTheMetersClockToTheComputersLocalTime) {
    TempDir dir;
    const std::string log = dir.File("frames.log");
    MeterProcess meter(MeterArgs(log));
    ASSERT_FALSE(meter.DevicePath().empty());
    const std::time_t before = std::time(nullptr);
    ProgramResult r = RunProgram(FERROLOG_CLI_PATH, {"--device", meter.DevicePath(), "sync-time"});
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.err, "Time Synced Successfully!\n")) << r.err;

    std::string frame;
    for (const auto& line : ReadLogLines(log))
        if (line.rfind(kClockFramePrefix, 0) == 0) frame = line;
    const std::vector<int> bytes = HexBytes(frame);
    ASSERT_EQ(bytes.size(), 20u) << frame;
    std::tm sent{};
    sent.tm_year = bytes[12] + 100;
    sent.tm_mon = bytes[13] - 1;
    sent.tm_mday = bytes[14];
    sent.tm_hour = bytes[15];
    sent.tm_min = bytes[16];
    sent.tm_sec = bytes[17];
    sent.tm_isdst = -1;
    const std::time_t sentTime = std::mktime(&sent);
    EXPECT_GE(sentTime, before);
    EXPECT_LE(sentTime, after);
}

TEST(CliSyncTime, AZtx420FailsWithoutAClockFrame) {
    TempDir dir;
    const std::string log = dir.File("frames.log");
    MeterProcess meter(MeterArgs(log, {"--model", "ZTX420"}));
    ASSERT_FALSE(meter.DevicePath().empty());
    ProgramResult r = RunProgram(FERROLOG_CLI_PATH, {"--device", meter.DevicePath(), "sync-time"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.err, "Time Sync Failed! \n")) << r.err;
    for (const auto& line : ReadLogLines(log))
        EXPECT_NE(line.rfind(kClockFramePrefix, 0), 0u) << line;
}

TEST(CliSyncTime, NoMeterFails) {
    TempDir dir;
    ProgramResult r = RunProgram(
        FERROLOG_CLI_PATH, {"--only-mapped", "--port", "3=/dev/null", "--com", "3", "sync-time"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Contains(r.err, "Comport open error\n")) << r.err;
    EXPECT_TRUE(Contains(r.err, "Time Sync Failed! \n")) << r.err;
}

TEST(CliTerminal, SendsEachLinePrintsItsReadoutAndTheRepliesUntilQuit) {
    TempDir dir;
    const std::string log = dir.File("frames.log");
    MeterProcess meter(MeterArgs(log, {"--model", "ZTX430", "--revision", "3.20"}));
    ASSERT_FALSE(meter.DevicePath().empty());
    const std::string script =
        "GETVER\n"
        "SETEMF 00AEF0\n"
        "SETEMF 7\n"
        "S\n"
        "\n"
        "SETEMF --text ab c  \n"
        "SETEMF --text " +
        std::string(24, 'x') +
        "\n"
        "SPIR 00 00 00 00 04\r\n"
        "quit\n"
        "GETSERIAL\n";
    ProgramResult r = RunWithInput({"--device", meter.DevicePath(), "terminal"}, script);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(Contains(r.out, "COM1,115200,n,8,1\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, ">> 3C 47 45 54 56 45 52 3E 3E \n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "<< 5A 54 58 34 33 30 52")) << r.out;  // "ZTX430R"
    EXPECT_TRUE(Contains(r.out, "ZTX430R")) << r.out;
    EXPECT_TRUE(Contains(r.out, "Parameter error, space needed in between.\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "Parameter error!\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, ">> 3C 53 45 54 45 4D 46 61 62 20 63 3E 3E \n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "Data too long to send! (Maximum 32 bytes)\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, ">> 3C 53 50 49 52 00 00 00 00 04 3E 3E \n")) << r.out;

    const std::vector<std::string> expected = {
        "3C 47 45 54 56 45 52 3E 3E",
        "3C 53 45 54 45 4D 46 61 62 20 63 3E 3E",
        "3C 53 50 49 52 00 00 00 00 04 3E 3E",
    };
    EXPECT_EQ(ReadLogLines(log), expected);  // nothing after quit, nothing refused
}

TEST(CliTerminal, TheEndOfInputStillWaitsForTheLastReply) {
    TempDir dir;
    const std::string log = dir.File("frames.log");
    MeterProcess meter({"--model", "TKL", "--log", log});  // paced at 115200 baud
    ASSERT_FALSE(meter.DevicePath().empty());
    ProgramResult r = RunWithInput({"--device", meter.DevicePath(), "terminal"}, "GETVER\n");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(Contains(r.out, "<< 54 4B 4C")) << r.out;  // "TKL"
}

}  // namespace
