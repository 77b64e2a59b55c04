// ferrolog-cli's link and measurement jobs (scan, identify, send, key, emf, spectrum, plot), run
// as a user runs them, against the virtual meter.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "link/meter_link.h"
#include "tests/support/cli_in_process.h"
#include "tests/support/file_text.h"
#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_clock.h"
#include "tests/support/wait_until.h"

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

ProgramResult RunCli(std::vector<std::string> args) {
    return RunProgram(FERROLOG_CLI_PATH, args);
}

ProgramResult RunCliOn(const MeterProcess& meter, std::vector<std::string> job) {
    std::vector<std::string> args = {"--device", meter.DevicePath()};
    args.insert(args.end(), job.begin(), job.end());
    return RunCli(args);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The lines of a CSV that stands alone on stdout, its header on line 1.
std::vector<std::string> CsvOf(const std::string& out, const std::string& header) {
    std::vector<std::string> lines = Lines(out);
    EXPECT_FALSE(lines.empty());
    if (!lines.empty()) {
        EXPECT_EQ(lines[0], header) << out;
    }
    return lines;
}

uint32_t BigEndian32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

}  // namespace

struct ModelCase {
    const char* option;
    int code;
    const char* name;
};

class CliScanEveryModel : public ::testing::TestWithParam<ModelCase> {};

TEST_P(CliScanEveryModel, ScanFindsTheMeterOnItsComNumberAndIdentifyNamesIt) {
    const ModelCase model = GetParam();
    MeterProcess meter({"--model", model.option});
    ASSERT_FALSE(meter.DevicePath().empty());
    const std::string mapping = "7=" + meter.DevicePath();

    const ProgramResult scan = RunCli({"--port", mapping, "--only-mapped", "scan"});
    EXPECT_EQ(scan.exitCode, 0) << scan.err;
    EXPECT_TRUE(Contains(scan.err, "Device:\n\n")) << scan.err;
    EXPECT_EQ(scan.out, "COM7 " + meter.DevicePath() + "\n");

    const ProgramResult identify = RunCli({"--port", mapping, "--com", "7", "identify"});
    EXPECT_EQ(identify.exitCode, 0) << identify.err;
    const std::string expected = "model " + std::to_string(model.code) + " (" + model.name + ")";
    EXPECT_EQ(identify.out.rfind(expected, 0), 0u) << identify.out;
}

INSTANTIATE_TEST_SUITE_P(
    Models, CliScanEveryModel,
    ::testing::Values(ModelCase{"ZTX420", 1, "ZTX420"}, ModelCase{"ZTX420+", 2, "ZTX420+"},
                      ModelCase{"ZTX430", 3, "ZTX430"}, ModelCase{"ZTX440", 4, "ZTX440"},
                      ModelCase{"VXQ", 4, "ZTX440"}, ModelCase{"ZTX-8800", 5, "ZTX-8800"},
                      ModelCase{"TKL", 6, "TKL"}));

TEST(CliLink, NoMeterMeansDeviceNotFoundAndAFailedExit) {
    VirtualClock clock;  // the scan's pause at each of the 32 numbers takes no real time
    MeterLink link(serial_backend::SystemBackend(), clock);
    const ProgramResult scan = RunCliInProcess(link, {"--only-mapped", "scan"});
    EXPECT_NE(scan.exitCode, 0);
    EXPECT_TRUE(Contains(scan.out + scan.err, "Device not found.")) << scan.out << scan.err;
}

TEST(CliLink, AComNumberWithoutADeviceIsAnOpenError) {
    const ProgramResult identify = RunCli({"--only-mapped", "--com", "9", "identify"});
    EXPECT_NE(identify.exitCode, 0);
    EXPECT_TRUE(Contains(identify.out + identify.err, "Comport open error"));
}

TEST(CliLink, ASilentMeterIsNotIdentified) {
    MeterProcess meter({"--fault", "silent"});
    const ProgramResult identify = RunCliOn(meter, {"identify"});
    EXPECT_NE(identify.exitCode, 0);
    EXPECT_FALSE(Contains(identify.out, "model ")) << identify.out;
    EXPECT_TRUE(Contains(identify.err, "Comport open error\n(the meter did not answer)\n"))
        << identify.err;
}

TEST(CliLink, SendPrintsTheFrameAndTheReplyInHexAndCharacters) {
    MeterProcess meter({"--fast", "--model", "ZTX430"});
    const ProgramResult sent = RunCliOn(meter, {"send", "GETVER"});
    EXPECT_EQ(sent.exitCode, 0) << sent.err;
    EXPECT_TRUE(Contains(sent.err, "sent 3C 47 45 54 56 45 52 3E 3E")) << sent.err;
    EXPECT_EQ(sent.out.rfind("000000  5A 54 58 34 33 30", 0), 0u) << sent.out;  // "ZTX430"
    EXPECT_TRUE(Contains(sent.out, "ZTX430")) << sent.out;
}

TEST(CliLink, SendRefusesAFrameLongerThan32Bytes) {
    const ProgramResult sent = RunCli({"send", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "--text", "abcd"});
    EXPECT_NE(sent.exitCode, 0);
    EXPECT_TRUE(Contains(sent.out + sent.err, "Data too long to send! (Maximum 32 bytes)"));
}

TEST(CliLink, KeysReachTheMeterAsExactFrames) {
    TempDir dir;
    MeterProcess meter({"--fast", "--log", dir.File("meter.log")});
    EXPECT_EQ(RunCliOn(meter, {"key", "2"}).exitCode, 0);
    EXPECT_EQ(RunCliOn(meter, {"hold", "3"}).exitCode, 0);
    EXPECT_NE(RunCliOn(meter, {"key", "4"}).exitCode, 0);
    EXPECT_NE(RunCliOn(meter, {"hold", "0"}).exitCode, 0);
    // The job ends once the frame is written; the meter logs it a moment later.
    std::vector<std::string> log;
    WaitUntil(
        [&] {
            log = ReadLogLines(dir.File("meter.log"));
            return log.size() >= 2;
        },
        2000, 20);
    EXPECT_EQ(log, (std::vector<std::string>{"3C 4B 45 59 32 3E 3E",                 // <KEY2>>
                                             "3C 4B 45 59 48 4F 4C 44 33 3E 3E"}));  // <KEYHOLD3>>
}

TEST(CliMeasure, EmfPrintsSixtySecondsOfReadings) {
    MeterProcess meter;
    const ProgramResult emf = RunCliOn(meter, {"emf"});
    ASSERT_EQ(emf.exitCode, 0) << emf.err;
    const auto csv = CsvOf(emf.out, "second,ef_vm,x_mg,y_mg,z_mg,emf_mg");
    ASSERT_EQ(csv.size(), 61u) << emf.out;
    EXPECT_EQ(csv[1].rfind("-59,", 0), 0u);
    EXPECT_EQ(csv[60].rfind("0,", 0), 0u);
}

TEST(CliMeasure, SpectrumPrintsEveryBinAndSavesUnderTheAutoSaveName) {
    MeterProcess meter({"--fast"});
    TempDir dir;
    const ProgramResult spectrum =
        RunCliOn(meter, {"spectrum", "--threshold", "-128", "--save", dir.Path()});
    ASSERT_EQ(spectrum.exitCode, 0) << spectrum.err;
    const auto csv = CsvOf(spectrum.out, "bin,frequency_hz,dbm");
    ASSERT_EQ(csv.size(), 129u) << spectrum.out;
    EXPECT_EQ(csv[1].rfind("0,2400000000,", 0), 0u) << csv[1];
    const auto files = dir.Names();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].rfind("rfspectrum_", 0), 0u);
    EXPECT_TRUE(Contains(files[0], "_-128dBm.csv")) << files[0];
}

TEST(CliMeasure, SpectrumIsNotSupportedOnAZtx420) {
    MeterProcess meter({"--fast", "--model", "ZTX420"});
    const ProgramResult spectrum = RunCliOn(meter, {"spectrum"});
    EXPECT_NE(spectrum.exitCode, 0);
    EXPECT_TRUE(Contains(spectrum.out + spectrum.err, "Not Supported.")) << spectrum.err;
}

TEST(CliMeasure, EveryRepeatsTheFetchCountTimes) {
    MeterProcess meter({"--fast"});
    TempDir dir;
    const ProgramResult emf =
        RunCliOn(meter, {"emf", "--every", "1s", "--count", "2", "--save", dir.Path()});
    ASSERT_EQ(emf.exitCode, 0) << emf.err;
    // One table: the header once, then both fetches' rows.
    EXPECT_EQ(CsvOf(emf.out, "second,ef_vm,x_mg,y_mg,z_mg,emf_mg").size(), 121u);
    EXPECT_GE(dir.Names().size(), 1u);  // two fetches in one second share a name
}

TEST(CliPlot, RendersSavedMeasurementsAsPngPictures) {
    MeterProcess meter({"--fast"});
    TempDir dir;
    ASSERT_EQ(RunCliOn(meter, {"emf", "--save", dir.Path()}).exitCode, 0);
    ASSERT_EQ(RunCliOn(meter, {"spectrum", "--threshold", "-128", "--save", dir.Path()}).exitCode,
              0);
    const auto files = dir.Names();
    ASSERT_EQ(files.size(), 2u);
    for (const std::string& name : files) {
        const std::string png = dir.File(name + ".png");
        const ProgramResult plot = RunCliOn(meter, {"plot", dir.File(name), "--png", png});
        ASSERT_EQ(plot.exitCode, 0) << plot.err;
        const std::string bytes = ReadFile(png);
        ASSERT_GT(bytes.size(), 24u);
        EXPECT_EQ(bytes.substr(1, 3), "PNG");
        EXPECT_EQ(bytes.substr(12, 4), "IHDR");
        EXPECT_EQ(BigEndian32(bytes, 16), 546u);  // the graph window's off-screen image
        EXPECT_EQ(BigEndian32(bytes, 20), 281u);
        // Down a pipe: the same picture alone on stdout.
        const ProgramResult piped = RunCliOn(meter, {"plot", dir.File(name), "--png", "-"});
        EXPECT_EQ(piped.exitCode, 0) << piped.err;
        EXPECT_TRUE(piped.out == bytes);
    }
}

// A field file holds raw counts: they are converted with the revision given or the one of
// the meter named, never with a guessed one.
TEST(CliPlot, AFieldFileIsConvertedByTheGivenOrTheMetersRevision) {
    MeterProcess meter({"--fast"});  // revision 3.62
    TempDir dir;
    ASSERT_EQ(RunCliOn(meter, {"emf", "--save", dir.Path()}).exitCode, 0);
    const std::string field = dir.File(dir.Names()[0]);
    std::ofstream(dir.File("empty.csv")).close();
    const ProgramResult asked = RunCliOn(meter, {"plot", field, "--png", "-"});
    ASSERT_EQ(asked.exitCode, 0) << asked.err;
    struct Case {
        std::string file;
        std::vector<std::string> words;
        int exitCode;
        bool sameAsAsked;
    };
    const Case cases[] = {
        {field, {"--revision", "3.62"}, 0, true},
        {field, {"--revision", "0"}, 0, false},
        {field, {}, 2, false},
        {dir.File("empty.csv"), {"--revision", "3.62"}, 1, false},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"plot", c.file, "--png", "-"};
        args.insert(args.end(), c.words.begin(), c.words.end());
        const ProgramResult r = RunCli(args);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
        EXPECT_EQ(r.out == asked.out, c.sameAsAsked) << r.err;
    }
    EXPECT_TRUE(Contains(RunCli({"plot", field, "--png", "-"}).err, "--revision"));
}

TEST(CliPlot, AnUnreadableFileFailsWithTheLoadMessage) {
    TempDir dir;
    const ProgramResult plot =
        RunCli({"plot", dir.File("missing.csv"), "--png", dir.File("out.png")});
    EXPECT_NE(plot.exitCode, 0);
    EXPECT_TRUE(Contains(plot.err, "Failed to open the file.")) << plot.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.png")));
}
