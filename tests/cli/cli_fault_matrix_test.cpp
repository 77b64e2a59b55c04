// Every job that talks to the meter against every fault of the virtual meter, under one rule:
// exactly the right output with exit status 0, or exit status 1 with nothing left under the
// chosen file name. Each cell has its own meter. The cells run in process on the meter's
// virtual clock; a few per job run the real program on a pseudo-terminal as well, side by side.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "link/number_text.h"
#include "tests/screen/bitmap_readback.h"
#include "tests/support/cli_in_process.h"
#include "tests/support/file_text.h"
#include "tests/support/meter_process.h"
#include "tests/support/simulated_meter.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr unsigned kCellsAtOnce = 8;  // the real program's cells mostly wait on the line

struct Job {
    const char* name;
    std::vector<std::string> words;    // "OUT" stands for the chosen file
    std::vector<std::string> targets;  // the commands its exchanges send
    int firstFrame;                    // the frame number of its first exchange
};

// clang-format off
const Job kJobs[] = {
    {"identify",   {"identify"},                  {"GETVER"},          1},
    {"send",       {"send", "GETSERIAL"},         {"GETSERIAL"},       1},
    {"emf",        {"emf"},                       {"GETEMFDATA"},      2},
    {"spectrum",   {"spectrum"},                  {"GETBANDDATAHEX"},  2},
    {"screenshot", {"screenshot", "1", "OUT"},    {"GETSSN", "GETSS"}, 2},
    {"screen",     {"screen", "OUT"},             {"GETSCREEN"},       2},
    {"history",    {"history", "OUT"},            {"SPIR"},            2},
    {"sync-time",  {"sync-time"},                 {"SETDATETIME"},     2},
    {"scan",       {"scan"},                      {"GETVER"},          1},
};
// clang-format on

// Under Wine, the Windows program also records, as a station does (its rows carry the PC's time,
// so only their count and layout can match).
const Job kRecordJob = {
    "record", {"record", "field", "--every", "1", "--for", "3", "-o", "OUT"}, {"GETEMFDATA"}, 2};

// A fault as the meter's options give it; "unplug" pulls the cable during the job's first reply.
const char* const kFaults[] = {"corrupt", "short",  "late=150", "late=1500",
                               "junk",    "silent", "unplug"};

// Cells no program can judge: a spectrum or history reply has no trailer or checksum, so a
// spoiled data byte looks like a real one; and the identification takes a reply without its
// "R" and revision as revision 0, so one cut short (or by the cable) after the model name
// cannot be told from a meter that sends no revision. They are run, but not judged.
// clang-format off
const std::pair<const char*, const char*> kUndetectable[] = {
    {"identify", "short"}, {"identify", "unplug"}, {"scan", "short"}, {"scan", "unplug"},
    {"spectrum", "corrupt"}, {"history",  "corrupt"},
};
// clang-format on

constexpr const char* kDisconnected = "The meter was disconnected.";

bool Undetectable(const std::string& job, const std::string& fault) {
    for (const auto& [j, f] : kUndetectable)
        if (job == j && fault == f) return true;
    return false;
}

const std::vector<std::string> kMeterBase = {
    "--seed", "7", "--clock", "2026-03-04 05:06:07", "--history-blocks", "2"};

struct Outcome {
    ProgramResult result;
    size_t requests = 0;             // frames the meter received
    std::vector<std::string> files;  // left in the job's folder
    std::string fileBytes;           // the first of them, whole
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

struct Cell {
    const Job* job;
    std::string fault;  // empty: the fault-free run
    Outcome outcome;
    std::vector<std::string> targets;  // the commands spoiled; empty: all the job's
    bool paced = false;                // at a real meter's pace: a late reply takes its time
    bool overProcess = false;          // the real program and meter on a pseudo-terminal
    bool underWine = false;            // with overProcess: the Windows program, under Wine
};

// The Windows build under Wine, as scripts/windows-test prepares it: the loader, the program,
// and a folder whose links com5, com6, ... the Wine prefix's registry maps to COM5, COM6, ...
// Each worker of RunAll has a port of its own, and its meter's --link points that port at it.
struct WineSide {
    std::string wine, program, ports;
    static constexpr int kFirstCom = 5;
};

std::optional<WineSide> WineFromEnvironment() {
    const char* wine = std::getenv("FERROLOG_WINE");
    const char* program = std::getenv("FERROLOG_WINDOWS_CLI");
    const char* ports = std::getenv("FERROLOG_WINE_PORTS");
    if (!wine || !program || !ports) return std::nullopt;
    return WineSide{wine, program, ports};
}

std::vector<std::string> MeterArgs(const Cell& cell, const std::string& log) {
    std::vector<std::string> args = kMeterBase;
    args.insert(args.end(), {"--log", log});
    if (!cell.paced) args.push_back("--fast");
    if (cell.fault == "unplug") {
        args.insert(args.end(), {"--unplug-after", std::to_string(cell.job->firstFrame)});
    } else if (!cell.fault.empty()) {
        for (const std::string& target : cell.targets.empty() ? cell.job->targets : cell.targets)
            args.insert(args.end(), {"--fault", target + ":" + cell.fault});
    }
    return args;
}

// The program and meter of a cell over a pseudo-terminal; under Wine, on worker's COM port.
ProgramResult RunOverProcess(const Cell& cell, std::vector<std::string> meterArgs,
                             std::vector<std::string> words, unsigned worker, std::string* device) {
    const std::optional<WineSide> wine = cell.underWine ? WineFromEnvironment() : std::nullopt;
    const std::string com = "COM" + std::to_string(WineSide::kFirstCom + worker);
    if (wine) meterArgs.insert(meterArgs.end(), {"--link", wine->ports + "/" + com});
    MeterProcess meter(meterArgs);
    *device = wine ? com : meter.DevicePath();
    words.insert(words.begin(), {"--device", *device});
    if (wine) words.insert(words.begin(), wine->program);
    ProgramResult result = RunProgram(wine ? wine->wine : FERROLOG_CLI_PATH, words);
    meter.Stop();
    return result;
}

Outcome RunCell(const Cell& cell, unsigned worker) {
    const Job& job = *cell.job;
    TempDir dir, logDir;
    std::vector<std::string> words;
    for (const std::string& word : job.words)
        words.push_back(word == "OUT" ? dir.File("out") : word);
    Outcome outcome;
    std::string device = kInProcessDevice;
    if (cell.overProcess) {
        outcome.result =
            RunOverProcess(cell, MeterArgs(cell, logDir.File("frames")), words, worker, &device);
    } else {
        InProcessMeter meter(MeterArgs(cell, logDir.File("frames")));
        EXPECT_TRUE(meter.meter.Ok()) << meter.meter.Error();
        outcome.result = RunCliInProcess(meter, words);
    }
    // The folder and the device differ from cell to cell; the names in the folder are compared.
    // Windows' standard error is a text stream: its lines end in CR LF there.
    const auto replaceAll = [](std::string* text, const std::string& varies, const char* name) {
        for (size_t at = 0; !varies.empty() && (at = text->find(varies, at)) != std::string::npos;
             at += std::strlen(name))
            text->replace(at, varies.size(), name);
    };
    for (std::string* text : {&outcome.result.out, &outcome.result.err}) {
        replaceAll(text, dir.Path(), "DIR");
        replaceAll(text, device, "DEV");
    }
    replaceAll(&outcome.result.err, "\r\n", "\n");
    outcome.files = dir.Names();
    if (!outcome.files.empty()) outcome.fileBytes = ReadFile(dir.File(outcome.files[0]));
    outcome.requests = ReadLogLines(logDir.File("frames")).size();
    return outcome;
}

bool FiniteCsvRow(const std::string& line, size_t columns) {
    std::istringstream in(line);
    size_t count = 0;
    for (std::string cell; std::getline(in, cell, ','); ++count)
        if (!ParseWholeNumber<double>(cell)) return false;
    return count == columns;
}

// The output a fault-free run would give: the same bytes where the meter repeats itself
// (seed and clock fixed), the same shape where the room moves on between runs.
::testing::AssertionResult ExactlyRight(const Job& job, const Outcome& got, const Outcome& clean) {
    const std::string name = job.name;
    const std::vector<std::string> lines = Lines(got.result.out);
    if (name == "emf") {
        if (lines.size() != 61 || lines[0] != "second,ef_vm,x_mg,y_mg,z_mg,emf_mg")
            return ::testing::AssertionFailure() << "not a 60-second table";
        for (int k = 1; k <= 60; ++k)
            if (!FiniteCsvRow(lines[k], 6) || lines[k].rfind(std::to_string(k - 60) + ",", 0) != 0)
                return ::testing::AssertionFailure() << "row " << k << ": " << lines[k];
        return ::testing::AssertionSuccess();
    }
    if (name == "spectrum") {
        const std::vector<std::string> cleanLines = Lines(clean.result.out);
        if (lines.size() != 129 || cleanLines.size() != 129)
            return ::testing::AssertionFailure() << "not a 128-bin table";
        for (size_t bin = 1; bin < lines.size(); ++bin) {
            const std::string prefix = cleanLines[bin].substr(0, cleanLines[bin].rfind(',') + 1);
            const std::optional<int64_t> dbm =
                ParseWholeInteger(std::string_view(lines[bin]).substr(prefix.size()), -128, 0);
            if (lines[bin].rfind(prefix, 0) != 0 || !dbm)
                return ::testing::AssertionFailure() << lines[bin] << " against " << prefix;
        }
        return ::testing::AssertionSuccess();
    }
    if (name == "screen") {
        if (got.files.size() != 1) return ::testing::AssertionFailure() << "no single bitmap";
        const bitmap_readback::FileBytes bytes(got.fileBytes.begin(), got.fileBytes.end());
        return bitmap_readback::IsScreenBitmap(bytes);
    }
    if (name == "send") {
        // A raw command: what arrived within the wait, as a dump, or nothing (said on stderr).
        for (const std::string& line : lines)
            if (line.size() < 8 || line.compare(6, 2, "  ") != 0)
                return ::testing::AssertionFailure() << "not a dump line: " << line;
        return ::testing::AssertionSuccess();
    }
    if (name == "record") {
        const std::vector<std::string> rows = Lines(got.fileBytes);
        const std::vector<std::string> cleanRows = Lines(clean.fileBytes);
        if (got.files != clean.files || rows.empty() || cleanRows.empty() ||
            rows[0] != cleanRows[0] || rows.size() + 1 < cleanRows.size() ||
            rows.size() > cleanRows.size() + 1)
            return ::testing::AssertionFailure()
                   << rows.size() << " lines, not about " << cleanRows.size();
        return ::testing::AssertionSuccess();
    }
    if (name == "sync-time") {
        if (got.result.err.find("Time Synced Successfully!") == std::string::npos)
            return ::testing::AssertionFailure() << "not synced";
        return ::testing::AssertionSuccess();
    }
    // identify, scan, screenshot, history: the very bytes of the fault-free run.
    if (got.result.out != clean.result.out) return ::testing::AssertionFailure() << "stdout";
    if (got.files != clean.files) return ::testing::AssertionFailure() << "files";
    if (got.fileBytes != clean.fileBytes) return ::testing::AssertionFailure() << "file bytes";
    return ::testing::AssertionSuccess();
}

// The real program's cells side by side first; then the in-process ones, one at a time, since
// each takes the process's standard output and error for its job.
void RunAll(std::vector<Cell>& cells) {
    std::atomic<size_t> next{0};
    std::vector<std::thread> workers;
    for (unsigned w = 0; w < kCellsAtOnce; ++w)
        workers.emplace_back([&, w] {
            for (size_t i; (i = next++) < cells.size();)
                if (cells[i].overProcess) cells[i].outcome = RunCell(cells[i], w);
        });
    for (std::thread& worker : workers)
        worker.join();
    for (Cell& cell : cells)
        if (!cell.overProcess) cell.outcome = RunCell(cell, 0);
}

// The rule of every faulty cell: exactly the right output with exit status 0, or exit status 1
// with nothing left under the chosen name.
void ExpectRightOrFailedLeavingNothing(const Cell& cell, const Outcome& clean) {
    const Outcome& got = cell.outcome;
    if (Undetectable(cell.job->name, cell.fault)) {
        EXPECT_TRUE(got.result.exitCode == 0 || got.files.empty());
    } else if (got.result.exitCode == 0) {
        EXPECT_TRUE(ExactlyRight(*cell.job, got, clean));
    } else {
        EXPECT_EQ(got.result.exitCode, 1);  // a failure, not a crash, a hang or a usage error
        EXPECT_TRUE(got.files.empty());
        if (cell.fault == "unplug") {  // a pulled cable is named as such
            EXPECT_NE(got.result.err.find(kDisconnected), std::string::npos);
        }
    }
}

const Job& JobNamed(const std::string& name) {
    return *std::find_if(std::begin(kJobs), std::end(kJobs),
                         [&](const Job& job) { return job.name == name; });
}

// Every exchange with attempts to spare: the job that runs it and the command it sends.
// clang-format off
const std::pair<const char*, const char*> kRetried[] = {
    {"emf", "GETEMFDATA"}, {"spectrum", "GETBANDDATAHEX"}, {"screen", "GETSCREEN"},
    {"screenshot", "GETSSN"}, {"screenshot", "GETSS"}, {"history", "SPIR"}, {"scan", "GETVER"},
};
// clang-format on
// The late reply crosses the line at the meter's own pace, so that its time on the line counts.
const std::pair<const char*, bool> kOnceFaults[] = {
    {"", false}, {"silent:1", false}, {"late=700:1", true}};
// What each job also meets over the real program: no fault, and a pulled cable.
const char* const kOverProcess[] = {"", "unplug"};

}  // namespace

TEST(CliFaultMatrix, EveryJobUnderEveryFaultIsRightOrFailsLeavingNothing) {
    std::vector<Cell> cells;
    for (const Job& job : kJobs) {
        cells.push_back({&job, "", {}, {}});
        for (const char* fault : kFaults)
            cells.push_back({&job, fault, {}, {}});
        for (const char* fault : kOverProcess)
            cells.push_back({&job, fault, {}, {}, false, true});
    }
    RunAll(cells);
    const Outcome* clean = nullptr;
    for (const Cell& cell : cells) {
        const Outcome& got = cell.outcome;
        SCOPED_TRACE(std::string(cell.job->name) + " / " +
                     (cell.fault.empty() ? "no fault" : cell.fault) +
                     (cell.overProcess ? " (program)" : "") + "\nstderr: " + got.result.err);
        if (cell.fault.empty()) {
            if (!cell.overProcess) clean = &got;  // the program's run matches the in-process one
            ASSERT_EQ(got.result.exitCode, 0);
            ASSERT_TRUE(ExactlyRight(*cell.job, got, *clean));
            continue;
        }
        ExpectRightOrFailedLeavingNothing(cell, *clean);
    }
}

TEST(CliFaultMatrix, OneMissedReplyIsAskedForOnceMoreAndOneLateReplyIsSteppedOver) {
    std::vector<Cell> cells;
    for (const auto& [job, target] : kRetried)
        for (const auto& [fault, paced] : kOnceFaults)
            cells.push_back({&JobNamed(job), fault, {}, {target}, paced});
    RunAll(cells);
    for (size_t row = 0; row < cells.size(); row += std::size(kOnceFaults)) {
        const Outcome& clean = cells[row].outcome;
        for (size_t at = row; at < row + std::size(kOnceFaults); ++at) {
            const Outcome& got = cells[at].outcome;
            SCOPED_TRACE(cells[at].targets[0] + " / " + cells[at].fault +
                         "\nstderr: " + got.result.err);
            EXPECT_TRUE(got.result.exitCode == 0 && ExactlyRight(*cells[at].job, got, clean));
        }
        EXPECT_EQ(cells[row + 1].outcome.requests, clean.requests + 1) << cells[row].targets[0];
    }
}

// The Windows program on COM ports Wine maps to the meters' pseudo-terminals, cell by cell beside
// the Linux program: the same exit status and messages, the same bytes where the meter repeats
// itself. Run by scripts/windows-test; skipped without the Windows build.
TEST(CliFaultMatrix, TheWindowsProgramUnderWineDoesWhatTheLinuxOneDoes) {
    if (!WineFromEnvironment()) GTEST_SKIP() << "needs the Windows build under Wine";
    std::vector<Cell> cells;
    std::vector<const Job*> jobs;
    for (const Job& job : kJobs)
        jobs.push_back(&job);
    jobs.push_back(&kRecordJob);
    for (const Job* job : jobs) {
        std::vector<std::string> faults = {""};
        if (job != &kRecordJob) faults.insert(faults.end(), std::begin(kFaults), std::end(kFaults));
        for (const std::string& fault : faults)
            for (bool underWine : {false, true})
                cells.push_back({job, fault, {}, {}, false, true, underWine});
    }
    RunAll(cells);
    const Outcome* clean = nullptr;
    for (size_t at = 0; at < cells.size(); at += 2) {
        const Cell& onLinux = cells[at];
        const Cell& onWindows = cells[at + 1];
        if (onLinux.fault.empty()) clean = &onLinux.outcome;
        SCOPED_TRACE(std::string(onLinux.job->name) + " / " +
                     (onLinux.fault.empty() ? "no fault" : onLinux.fault) + "\nLinux: " +
                     onLinux.outcome.result.err + "\nWindows: " + onWindows.outcome.result.err);
        ExpectRightOrFailedLeavingNothing(onWindows, *clean);
        // Whether a late reply is still taken depends on when the attempts fall, and whether a
        // reply cut short by the cable is read before the hang-up is seen on when the bytes
        // come; the load of the machine moves both (the in-process cells judge them on a virtual
        // clock). Every other cell ends alike.
        if (onLinux.fault.rfind("late=", 0) == 0 || Undetectable(onLinux.job->name, onLinux.fault))
            continue;
        EXPECT_EQ(onWindows.outcome.result.exitCode, onLinux.outcome.result.exitCode);
        EXPECT_EQ(onWindows.outcome.result.err, onLinux.outcome.result.err);
        EXPECT_EQ(onWindows.outcome.files, onLinux.outcome.files);
    }
}
