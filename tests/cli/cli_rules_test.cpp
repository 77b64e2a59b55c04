// The rules every ferrolog-cli job keeps: data alone on stdout, a wrong command line refused
// with status 2 before the meter hears anything, and a job that cannot write its file fails
// with nothing left under the chosen name.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "link/serial_backend.h"
#include "tests/support/cli_in_process.h"
#include "tests/support/file_text.h"
#include "tests/support/meter_process.h"
#include "tests/support/simulated_meter.h"
#include "tests/support/temp_dir.h"
#include "tests/support/virtual_clock.h"

namespace {

constexpr const char* kNoSuchFolder = "No such file or directory";
constexpr int kSpecialFileTimeoutMs = 20000;  // a blocked read would hang far longer

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

ProgramResult RunCliOn(const MeterProcess& meter, std::vector<std::string> job) {
    std::vector<std::string> args = {"--device", meter.DevicePath()};
    args.insert(args.end(), job.begin(), job.end());
    return RunProgram(FERROLOG_CLI_PATH, args);
}

}  // namespace

TEST(CliRules, HelpAndVersionPrintOnStdoutAndSucceed) {
    for (const char* option : {"--help", "-h"}) {
        const ProgramResult r = RunProgram(FERROLOG_CLI_PATH, {option});
        EXPECT_EQ(r.exitCode, 0) << option;
        EXPECT_EQ(r.out.rfind("usage: ferrolog-cli", 0), 0u) << r.out;
        EXPECT_TRUE(r.err.empty()) << r.err;
    }
    const ProgramResult version = RunProgram(FERROLOG_CLI_PATH, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("ferrolog-cli ", 0), 0u) << version.out;
}

TEST(CliRules, AWrongCommandLineIsRefusedBeforeTheMeterHearsAnything) {
    TempDir dir;
    MeterProcess meter({"--fast", "--log", dir.File("meter.log")});
    ASSERT_FALSE(meter.DevicePath().empty());
    struct Case {
        std::vector<std::string> words;
        const char* says;
    };
    // clang-format off
    const Case cases[] = {
        {{"--bogus", "ports"},                       "ferrolog-cli: unknown option '--bogus' (see --help)\n"},
        {{"bogus"},                                  "ferrolog-cli: unknown job 'bogus' (see --help)\n"},
        {{"ports", "--bogus"},                       "--bogus"},
        {{"scan", "extra"},                          "extra"},
        {{"identify", "--bogus"},                    "--bogus"},
        {{"emf", "--every", "nan"},                  "usage: emf"},
        {{"emf", "--every", "inf"},                  "usage: emf"},
        {{"emf", "--every", "1e300s"},               "usage: emf"},
        {{"emf", "--every", "0s"},                   "usage: emf"},
        {{"emf", "--count", "99999999999"},          "usage: emf"},
        {{"emf", "--count", "0"},                    "usage: emf"},
        {{"emf", "--count", "3x"},                   "usage: emf"},
        {{"emf", "--bogus"},                         "usage: emf"},
        {{"spectrum", "--threshold", "1"},           "usage: spectrum"},
        {{"spectrum", "--threshold", "-129"},        "usage: spectrum"},
        {{"spectrum", "--threshold", "-9e9"},        "usage: spectrum"},
        {{"key", "4"},                               "key takes one key number"},
        {{"key", "18446744073709551617"},            "key takes one key number"},
        {{"hold", "0"},                              "hold takes one key number"},
        {{"send", "GETSERIAL", "0"},                 "Parameter error!"},
        {{"send", "GETSERIAL", "00AE", "F0"},        "Parameter error, space needed in between."},
        {{"send", "GETSERIAL 00AEF0"},               "Parameter error, space needed in between."},
        {{"send"},                                   "usage: send"},
        {{"screenshot", "5"},                        "usage: screenshot"},
        {{"history"},                                "usage: history"},
        {{"history-csv", "a", "b", "--bogus"},       "usage: history-csv"},
        {{"plot", "a.csv", "--png", "b.png", "--revision", "nan"}, "usage: plot"},
        {{"sync-time", "now"},                       "now"},
        {{"--json", "key", "1"},                     "key has no JSON output"},
        {{"serve", "--meter", "a b=/dev/null"},      "usage: serve"},
        {{"serve", "--meter", "a=/x", "--meter", "a=/y"}, "usage: serve"},
        {{"serve", "--listen", "127.0.0.1:65536"},   "usage: serve"},
        {{"serve", "--every", "0.5"},                "usage: serve"},
        {{"serve", "--spectrum-every", "0.5s"},      "usage: serve"},
        {{"serve", "--mqtt", "h", "--mqtt-prefix", "a/#"}, "usage: serve"},
        {{"serve", "--mqtt", "h", "--mqtt-user", "u"}, "--mqtt-user and --mqtt-password-file go together"},
        {{"serve", "--mqtt-prefix", "p"},            "need --mqtt HOST"},
        {{"--json", "serve"},                        "serve has no JSON output"},
    };
    // clang-format on
    for (const Case& c : cases) {
        const ProgramResult r = RunCliOn(meter, c.words);
        EXPECT_EQ(r.exitCode, 2) << c.words[0] << " " << r.err;
        EXPECT_TRUE(Contains(r.err, c.says)) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    EXPECT_TRUE(ReadLogLines(dir.File("meter.log")).empty());
}

// A job that cannot write its file says why, fails, and leaves nothing behind it.
TEST(CliRules, AFileThatCannotBeWrittenIsAFailureWithNothingLeft) {
    TempDir dir;
    MeterProcess meter({"--fast", "--history-blocks", "2"});
    ASSERT_FALSE(meter.DevicePath().empty());
    ASSERT_EQ(RunCliOn(meter, {"emf", "--save", dir.Path()}).exitCode, 0);
    ASSERT_EQ(RunCliOn(meter, {"history", dir.File("log")}).exitCode, 0);
    const std::vector<std::string> before = dir.Names();
    const std::string measurement = dir.File(before[0]);  // emf_….csv, then log.bin, log.csv
    ASSERT_EQ(before[0].rfind("emf_", 0), 0u);
    const std::string missing = dir.File("missing");
    struct Case {
        std::vector<std::string> words;
        bool needsMeter;
    };
    // clang-format off
    const Case cases[] = {
        {{"emf", "--save", missing},                                   true},
        {{"spectrum", "--threshold", "-128", "--save", missing},       true},
        {{"screenshot", "1", missing + "/shot"},                       true},
        {{"screen", missing + "/live"},                                true},
        {{"history", missing + "/log"},                                true},
        {{"plot", measurement, "--png", missing + "/trend.png"},      true},
        {{"history-csv", dir.File("log.bin"), missing + "/again.csv"}, false},
        {{"history-csv", dir.File("log.bin"), dir.Path(), "--force"}, false},
    };
    // clang-format on
    for (const Case& c : cases) {
        const ProgramResult r =
            c.needsMeter ? RunCliOn(meter, c.words) : RunProgram(FERROLOG_CLI_PATH, c.words);
        EXPECT_EQ(r.exitCode, 1) << c.words[0] << " " << r.err;
        EXPECT_TRUE(Contains(r.err, "cannot write")) << c.words[0] << " " << r.err;
        EXPECT_FALSE(Contains(r.err, "Download Finished")) << r.err;
        EXPECT_EQ(dir.Names(), before) << c.words[0];
    }
}

TEST(CliRules, SpecialFilesAreRefusedAtOnce) {
    TempDir dir;
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& input : {std::string("/dev/zero"), fifo, dir.Path()}) {
        const ProgramResult plot = RunProgram(
            FERROLOG_CLI_PATH, {"plot", input, "--png", dir.File("o.png")}, kSpecialFileTimeoutMs);
        EXPECT_EQ(plot.exitCode, 1) << input << " " << plot.err;
        const ProgramResult decode = RunProgram(
            FERROLOG_CLI_PATH, {"history-csv", input, dir.File("o.csv")}, kSpecialFileTimeoutMs);
        EXPECT_EQ(decode.exitCode, 1) << input << " " << decode.err;
    }
    std::ofstream(dir.File("noise.csv"), std::ios::binary) << std::string("0,1,\x01\x02,3,", 9);
    const ProgramResult binary =
        RunProgram(FERROLOG_CLI_PATH, {"plot", dir.File("noise.csv"), "--png", dir.File("o.png")});
    EXPECT_EQ(binary.exitCode, 1);
    EXPECT_TRUE(Contains(binary.err, "The file is not a measurement file.")) << binary.err;
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"fifo", "noise.csv"}));
}

TEST(CliRules, ASpectrumNeverAnsweredGivesNoTable) {
    InProcessMeter meter({"--fast", "--fault", "silent", "--fault-on", "GETBANDDATAHEX"});
    const ProgramResult r = RunCliInProcess(meter, {"spectrum"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
}

TEST(CliRules, SendTakesTheTerminalsCommandLineQuotedOrNot) {
    TempDir dir;
    MeterProcess meter({"--fast", "--log", dir.File("meter.log")});
    const ProgramResult words = RunCliOn(meter, {"send", "GETSERIAL", "00", "AE", "F0"});
    const ProgramResult line = RunCliOn(meter, {"send", "GETSERIAL 00 AE F0"});
    EXPECT_EQ(words.exitCode, 0) << words.err;
    EXPECT_EQ(line.exitCode, 0) << line.err;
    EXPECT_EQ(words.out, line.out);
    const ProgramResult key = RunCliOn(meter, {"send", "KEY1"});  // keys never answer
    EXPECT_EQ(key.exitCode, 0) << key.err;
    EXPECT_TRUE(key.out.empty()) << key.out;
    EXPECT_TRUE(Contains(key.err, "no reply within")) << key.err;
    const std::string serial = "3C 47 45 54 53 45 52 49 41 4C 00 AE F0 3E 3E";
    const std::vector<std::string> expected = {serial, serial, "3C 4B 45 59 31 3E 3E"};
    EXPECT_EQ(ReadLogLines(dir.File("meter.log")), expected);
}

TEST(CliRules, JsonIsOneDocumentALineOnStdout) {
    MeterProcess meter({"--fast", "--model", "ZTX430"});
    const ProgramResult identify =
        RunProgram(FERROLOG_CLI_PATH, {"--json", "--device", meter.DevicePath(), "identify"});
    EXPECT_EQ(identify.exitCode, 0) << identify.err;
    EXPECT_EQ(identify.out.rfind("{\"found\":true,\"com\":1,\"path\":\"", 0), 0u) << identify.out;
    EXPECT_TRUE(Contains(identify.out, "\"model\":3,\"name\":\"ZTX430\",\"revision\":3.1}\n"))
        << identify.out;
    const ProgramResult emf = RunProgram(
        FERROLOG_CLI_PATH, {"--json", "--device", meter.DevicePath(), "emf", "--count", "2"});
    EXPECT_EQ(emf.exitCode, 0) << emf.err;
    EXPECT_EQ(std::count(emf.out.begin(), emf.out.end(), '\n'), 2);
    EXPECT_EQ(std::count(emf.out.begin(), emf.out.end(), '{'), 2 * 61);
}

TEST(CliRules, IsoDatesDateEveryFieldSample) {
    MeterProcess meter({"--fast"});
    const ProgramResult emf = RunCliOn(meter, {"emf", "--iso-dates"});
    ASSERT_EQ(emf.exitCode, 0) << emf.err;
    EXPECT_EQ(emf.out.rfind("time,ef_vm,x_mg,y_mg,z_mg,emf_mg\n", 0), 0u) << emf.out;
    const std::string firstRow = emf.out.substr(emf.out.find('\n') + 1, 20);
    // "2026-12-08 08:31:21,"
    EXPECT_EQ(firstRow[4], '-');
    EXPECT_EQ(firstRow[7], '-');
    EXPECT_EQ(firstRow[10], ' ');
    EXPECT_EQ(firstRow[13], ':');
    EXPECT_EQ(firstRow[19], ',');
}

// Under a comma-decimal language the graph still reads "2.400 GHz": the picture is the same
// byte for byte as under the C locale.
TEST(CliRules, PlotDrawsDecimalPointsInEveryLocale) {
    TempDir dir;
    const std::string locales = dir.File("locales");
    std::filesystem::create_directory(locales);
    const ProgramResult made =
        RunProgram("/usr/bin/localedef", {"-i", "de_DE", "-f", "UTF-8", locales + "/de_DE.UTF-8"});
    if (made.exitCode != 0 && made.exitCode != 1)
        GTEST_SKIP() << "no German locale can be made here: " << made.err;
    MeterProcess meter({"--fast"});
    ASSERT_EQ(RunCliOn(meter, {"spectrum", "--threshold", "-128", "--save", dir.Path()}).exitCode,
              0);
    std::string saved;
    for (const std::string& name : dir.Names())
        if (name.rfind("rfspectrum_", 0) == 0) saved = dir.File(name);
    ASSERT_FALSE(saved.empty());
    const auto plotUnder = [&](const std::string& locale, const std::string& png) {
        return RunProgram("/usr/bin/env",
                          {"LOCPATH=" + locales, "LC_ALL=" + locale, "LANG=" + locale,
                           FERROLOG_CLI_PATH, "plot", saved, "--png", png});
    };
    ASSERT_EQ(plotUnder("C", dir.File("c.png")).exitCode, 0);
    const ProgramResult german = plotUnder("de_DE.UTF-8", dir.File("de.png"));
    ASSERT_EQ(german.exitCode, 0) << german.err;
    EXPECT_FALSE(Contains(german.err, "locale")) << german.err;
    EXPECT_TRUE(ReadFile(dir.File("de.png")) == ReadFile(dir.File("c.png")));
}

// A port that is no serial device gets that hint, once under the list of ports it was given for.
TEST(CliRules, AScanThatOpenedNothingGivesEachHintOnce) {
    VirtualClock clock;  // the system's ports, but the scan's pauses between them take no time
    MeterLink link(serial_backend::SystemBackend(), clock);
    const ProgramResult r = RunCliInProcess(
        link, {"--only-mapped", "--port", "1=/dev/null", "--port", "2=/dev/null", "scan"});
    EXPECT_EQ(r.exitCode, 1);
    const std::string hint = "\nhint: /dev/null is not a serial device";
    EXPECT_TRUE(Contains(r.err, "COM2 /dev/null: ")) << r.err;
    EXPECT_TRUE(Contains(r.err, hint)) << r.err;
    EXPECT_EQ(r.err.find(hint), r.err.rfind(hint)) << r.err;
    EXPECT_FALSE(Contains(r.err, "hint: hint:")) << r.err;
}
