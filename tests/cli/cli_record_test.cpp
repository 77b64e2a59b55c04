// ferrolog-cli record against the virtual meter: every second once across an unplugged, a
// late and a vanished meter, and a file that reads back whole however the recorder ends. What
// rests on the recording's logic runs in process on the meter's virtual clock; what rests on
// the real process (a signal, a kill, a pseudo-terminal pulled and back) runs the program.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "link/link_timing.h"
#include "link/meter_identity.h"
#include "record/recording_file.h"
#include "record/recording_reader.h"
#include "tests/cli/cli_child.h"
#include "tests/support/cli_in_process.h"
#include "tests/support/file_text.h"
#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unplugging_meter.h"
#include "tests/support/wait_until.h"

namespace {

size_t Lines(const std::string& path) {
    const std::string text = ReadFile(path);
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

std::vector<std::string> RecordArgs(const std::string& port, std::vector<std::string> job) {
    std::vector<std::string> args = {"--only-mapped", "--port", "1=" + port,
                                     "--com",         "1",      "record"};
    args.insert(args.end(), job.begin(), job.end());
    return args;
}

TimeSeries ReadFieldFile(const std::string& path) {
    RecordingKind kind{};
    TimeSeries series;
    SpectrumSeries spectrum;
    std::string error;
    EXPECT_TRUE(LoadRecording(path, &kind, &series, &spectrum, &error)) << error;
    EXPECT_EQ(kind, RecordingKind::Field);
    return series;
}

// "<GETEMFDATA>>" as the meter's log writes it.
constexpr const char* kFieldRequestHex = "3C 47 45 54 45 4D 46 44 41 54 41 3E 3E";

// Seconds one after another: none missing, none twice.
void ExpectEverySecondOnce(const TimeSeries& series) {
    for (size_t i = 1; i < series.times.size(); ++i)
        ASSERT_EQ(series.times[i], series.times[i - 1] + 1) << "row " << i;
}

TEST(CliRecord, UnpluggedAndBackGoesOnWithEverySecondOnce) {
    TempDir dir;
    const UnpluggingMeter meter(dir, 4, 1500);
    ASSERT_TRUE(meter.Started());
    const std::string& link = meter.Link();
    const std::string file = dir.File("night.csv");
    const ProgramResult run = RunProgram(
        FERROLOG_CLI_PATH, RecordArgs(link, {"field", "--every", "1", "--for", "8", "-o", file}));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find(kMeterDisconnected), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("The meter is back"), std::string::npos) << run.err;
    const TimeSeries series = ReadFieldFile(file);
    EXPECT_NE(run.err.find(std::to_string(series.times.size()) + " rows recorded in " + file),
              std::string::npos)
        << run.err;
    // The meter kept measuring while unplugged for less than its 60 s: no second is lost.
    EXPECT_GE(series.times.size(), 60u + 4u);
    ExpectEverySecondOnce(series);
}

TEST(CliRecord, AMeterThatNeverComesBackFailsWithTheRowsKept) {
    TempDir dir;
    const std::string file = dir.File("short.csv");
    const ProgramResult run =
        RunCliOnInProcessMeter({"--fast", "--unplug-after", "3"},
                               {"record", "field", "--every", "1", "--for", "4", "-o", file});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.rfind(std::string(kMeterDisconnected) + "\n"), std::string::npos);
    const TimeSeries series = ReadFieldFile(file);
    EXPECT_EQ(series.times.size(), 60u) << run.err;  // the second fetch lost the meter
    ExpectEverySecondOnce(series);
}

TEST(CliRecord, ALateReplyLeavesNeitherHoleNorRepeat) {
    TempDir dir;
    const std::string file = dir.File("late.csv");
    const ProgramResult run =
        RunCliOnInProcessMeter({"--fast", "--fault", "GETEMFDATA:late:1:1"},
                               {"record", "field", "--every", "1", "--for", "7", "-o", file});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const TimeSeries series = ReadFieldFile(file);
    EXPECT_GE(series.times.size(), 60u + 4u);
    ExpectEverySecondOnce(series);
}

TEST(CliRecord, KilledMidRecordingLeavesAFileThatReadsBackWhole) {
    TempDir dir;
    MeterProcess meter({"--fast"});
    ASSERT_FALSE(meter.DevicePath().empty());
    const std::string file = dir.File("killed.csv");
    CliChild cli(RecordArgs(meter.DevicePath(), {"field", "--every", "1", "-o", file}),
                 dir.File("err.txt"));
    ASSERT_TRUE(cli.Started());
    ASSERT_TRUE(WaitUntil([&] { return Lines(file) >= 1 + 60 + 3; }, 30000));
    cli.Kill();
    cli.Wait();
    const std::string text = ReadFile(file);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    const TimeSeries series = ReadFieldFile(file);
    EXPECT_EQ(series.times.size(), Lines(file) - 1);
    ExpectEverySecondOnce(series);
}

// A signal ends the recording after one more fetch for the seconds since, every row written;
// a file deleted meanwhile is written again.
TEST(CliRecord, ASignalEndsTheRecordingAfterOneMoreFetch) {
    struct Case {
        int signal;
        const char* output;
        const char* said;
    };
    const Case cases[] = {{SIGINT, "del.csv", "del.csv was deleted while recording"},
                          {SIGHUP, "-", " rows recorded.\n"}};
    for (const Case& c : cases) {
        TempDir dir;
        MeterProcess meter({"--fast", "--log", dir.File("frames.log")});
        ASSERT_FALSE(meter.DevicePath().empty());
        const bool toStdout = std::string(c.output) == "-";
        const std::string file = dir.File(toStdout ? "out.csv" : c.output);
        CliChild cli(RecordArgs(meter.DevicePath(), {"field", "-o", toStdout ? "-" : file}),
                     dir.File("err.txt"), dir.File("out.csv"));
        ASSERT_TRUE(cli.Started());
        ASSERT_TRUE(WaitUntil([&] { return Lines(file) >= 1 + 60; }, 30000));
        std::filesystem::remove(dir.File("del.csv"));
        cli.Interrupt(c.signal);
        EXPECT_EQ(cli.Wait(), 0) << c.signal;
        EXPECT_NE(ReadFile(dir.File("err.txt")).find(c.said), std::string::npos) << c.said;
        const std::vector<std::string> frames = ReadLogLines(dir.File("frames.log"));
        EXPECT_EQ(std::count(frames.begin(), frames.end(), kFieldRequestHex), 2) << c.signal;
        ExpectEverySecondOnce(ReadFieldFile(file));
    }
    EXPECT_FALSE(std::filesystem::exists("-"));
}

TEST(CliRecord, ARecordingHoldsItsLastSecondsOrFails) {
    struct Case {
        const char* fault;
        std::vector<std::string> job;
        int status;
        const char* said;
        size_t rows;  // at least; none: no file
    };
    const Case cases[] = {
        {"", {"field", "--for", "9"}, 0, "rows recorded in", 60 + 8},  // one fetch, then the end
        {"GETEMFDATA:garbage", {"field", "--for", "1"}, 1, "nothing was recorded", 0},
        {"GETBANDDATAHEX:marks", {"spectrum", "--for", "2"}, 1, "no complete spectrum", 0},
        {"GETEMFDATA:silent:0:1", {"field", "--for", "1"}, 1, "stopped answering", 60},
    };
    for (const Case& c : cases) {
        TempDir dir;
        std::vector<std::string> meterArgs = {"--fast"};
        if (*c.fault) meterArgs.insert(meterArgs.end(), {"--fault", c.fault});
        std::vector<std::string> job = {"record"};
        job.insert(job.end(), c.job.begin(), c.job.end());
        job.insert(job.end(), {"-o", dir.File("rec.csv")});
        const ProgramResult run = RunCliOnInProcessMeter(meterArgs, job);
        EXPECT_EQ(run.exitCode, c.status) << c.fault << ": " << run.err;
        EXPECT_NE(run.err.find(c.said), std::string::npos) << c.fault << ": " << run.err;
        EXPECT_GE(Lines(dir.File("rec.csv")), c.rows ? c.rows + 1 : 0) << c.fault;  // a header
        EXPECT_EQ(std::filesystem::exists(dir.File("rec.csv")), c.rows > 0) << c.fault;
    }
}

TEST(CliRecord, SpectrumRowsUnderTheirBinFrequencies) {
    TempDir dir;
    const std::string file = dir.File("rf.csv");
    const ProgramResult run = RunCliOnInProcessMeter(
        {"--fast", "--band", "5"}, {"record", "spectrum", "--for", "3", "-o", file});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    RecordingKind kind{};
    TimeSeries series;
    SpectrumSeries spectrum;
    std::string error;
    ASSERT_TRUE(LoadRecording(file, &kind, &series, &spectrum, &error)) << error;
    EXPECT_EQ(kind, RecordingKind::Spectrum);
    ASSERT_GE(spectrum.rows.size(), 2u);
    EXPECT_EQ(spectrum.rows[0].frequencyHz[0], 863000000u);
    EXPECT_EQ(spectrum.rows[0].frequencyHz[1], 863125000u);
}

TEST(CliRecord, RefusesWhatItCannotDo) {
    TempDir dir;
    const std::string existing = dir.File("kept.csv");
    std::ofstream(existing) << "earlier\n";
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    const Case cases[] = {
        {{"record"}, 2},
        {{"record", "noise"}, 2},
        {{"record", "field", "--for", "0"}, 2},
        {{"record", "field", "--every", "soon"}, 2},
        {{"record", "field", "-o"}, 2},
        {{"record", "field", "--threshold", "-90"}, 2},
        {{"--json", "record", "field", "-o", dir.File("new.csv")}, 2},
        {{"record", "field", "-o", dir.File("new.csv"), "--json"}, 2},
        {{"record", "field", "-o", existing}, 1},
    };
    for (const Case& c : cases) {
        const ProgramResult run = RunProgram(FERROLOG_CLI_PATH, c.args);
        EXPECT_EQ(run.exitCode, c.status) << c.args.back() << ": " << run.err;
        EXPECT_TRUE(run.out.empty());
    }
    EXPECT_EQ(ReadFile(existing), "earlier\n");
    EXPECT_FALSE(std::filesystem::exists(dir.File("new.csv")));
}

uint32_t BigEndian32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

TEST(CliPlotLongTerm, RecordingsAndHistoriesDrawAsLongTermViews) {
    TempDir dir;
    std::string field = std::string(kFieldRecordingHeader) + "\n";
    SpectrumRow sweep;
    std::string spectrum;
    for (int64_t t = 1796731200; t < 1796731200 + 7200; t += 2) {
        field += FieldCsvLine({t, 0.5f, 0.25f, 0.125f, 0.6f, 18.0f});
        sweep.time = t;
        sweep.frequencyHz.fill(240000000u);
        sweep.dbm.fill(static_cast<int8_t>(-100 + t % 40));
        spectrum += (spectrum.empty() ? SpectrumCsvHeader(sweep) : "") + SpectrumCsvLine(sweep);
    }
    std::ofstream(dir.File("field.csv")) << field;
    std::ofstream(dir.File("rf.csv")) << spectrum;
    std::ofstream(dir.File("log.csv"))
        << "ZTX-440 Data Logged History\r\n,EMF,EF,RF Power Density\r\n"
           "Date and Time,mG,V/m,mW/m2,mW/cm2,pW/cm2, Possible Source\r\n"
           "2026/12/08 12:00:00,1.2,18.5,0.009,0.000,900.000,\r\n"
           "2026/12/08 12:00:01,0.9,17.0,0.200,0.000,20000.000,Smart Meter\r\n";
    struct Case {
        std::vector<std::string> args;
        uint32_t width;
        uint32_t height;
    };
    const Case cases[] = {
        {{"field.csv"}, 1200, 600},
        {{"field.csv", "--size", "640x320", "--from", "2026-12-08T12:30:00Z"}, 640, 320},
        {{"rf.csv"}, 1200, 600},
        {{"log.csv"}, 1200, 600},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"plot", dir.File(c.args[0]), "--png", dir.File("out.png")};
        args.insert(args.end(), c.args.begin() + 1, c.args.end());
        const ProgramResult plot = RunProgram(FERROLOG_CLI_PATH, args);
        ASSERT_EQ(plot.exitCode, 0) << c.args[0] << ": " << plot.err;
        const std::string bytes = ReadFile(dir.File("out.png"));
        ASSERT_GT(bytes.size(), 24u);
        EXPECT_EQ(BigEndian32(bytes, 16), c.width) << c.args[0];
        EXPECT_EQ(BigEndian32(bytes, 20), c.height) << c.args[0];
        std::filesystem::remove(dir.File("out.png"));
    }
    const ProgramResult outside = RunProgram(
        FERROLOG_CLI_PATH,
        {"plot", dir.File("field.csv"), "--png", dir.File("none.png"), "--from", "2027-01-01"});
    EXPECT_EQ(outside.exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("none.png")));
}

}  // namespace
