// ferrolog-cli's history jobs against the virtual meter.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "link/link_timing.h"
#include "tests/cli/cli_child.h"
#include "tests/support/file_text.h"
#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_until.h"

namespace {

// The "<SPIR" requests in the meter's log (the identification's "<GETVER>>" comes first).
size_t SpirRequests(const std::string& logPath) {
    const std::vector<std::string> lines = ReadLogLines(logPath);
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.rfind("3C 53 50 49 52 ", 0) == 0;
    }));
}

std::vector<std::string> HistoryArgs(const MeterProcess& meter, const std::string& file) {
    return {"--only-mapped", "--port", "1=" + meter.DevicePath(), "--com", "1", "history", file};
}

TEST(CliHistory, DownloadAndOfflineDecodeGiveTheSameCsv) {
    TempDir dir;
    MeterProcess meter({"--fast", "--history-blocks", "30"});
    ASSERT_FALSE(meter.DevicePath().empty());
    const ProgramResult download =
        RunProgram(FERROLOG_CLI_PATH, HistoryArgs(meter, dir.File("log")));
    ASSERT_EQ(download.exitCode, 0) << download.err;
    const std::string written = dir.File("log.csv") + "\n" + dir.File("log.bin") + "\n";
    EXPECT_EQ(download.out, written);
    // Not a terminal: no bar redrawn in place, one line for the 10 % step of 1 MiB passed.
    EXPECT_EQ(download.err.find('\r'), std::string::npos) << download.err;
    EXPECT_NE(download.err.find("history: 10% 106KB"), std::string::npos) << download.err;
    EXPECT_EQ(download.err.find("history: ", download.err.find("history: ") + 1),
              std::string::npos);
    EXPECT_NE(download.err.find("Download Finished. 122KB"), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(dir.File("log.bin")), 30u * 4096u);

    const ProgramResult decode =
        RunProgram(FERROLOG_CLI_PATH, {"history-csv", dir.File("log.bin"), dir.File("again.csv")});
    ASSERT_EQ(decode.exitCode, 0) << decode.err;
    const std::string csv = ReadFile(dir.File("log.csv"));
    EXPECT_GT(csv.size(), 30u * 4096u);  // a dozen bytes make a line of about 60
    EXPECT_EQ(ReadFile(dir.File("again.csv")), csv);

    // The same name again is refused (see RefusesWhatItCannotDo) unless --force is given.
    std::vector<std::string> again = HistoryArgs(meter, dir.File("log"));
    again.push_back("--force");
    std::filesystem::resize_file(dir.File("log.csv"), 0);
    ASSERT_EQ(RunProgram(FERROLOG_CLI_PATH, again).exitCode, 0);
    EXPECT_EQ(ReadFile(dir.File("log.csv")), csv);
}

TEST(CliHistory, CtrlCSavesWhatHasArrivedAndSaysItStopped) {
    TempDir dir;
    MeterProcess meter({"--history-blocks", "64", "--log", dir.File("meter.log")});
    ASSERT_FALSE(meter.DevicePath().empty());
    CliChild cli(HistoryArgs(meter, dir.File("part")), dir.File("err.txt"));
    ASSERT_TRUE(cli.Started());
    WaitUntil([&] { return SpirRequests(dir.File("meter.log")) >= 3; }, 20000, 10);
    cli.Interrupt();
    EXPECT_EQ(cli.Wait(), 130) << ReadFile(dir.File("err.txt"));

    const size_t requests = SpirRequests(dir.File("meter.log"));
    const size_t saved = std::filesystem::file_size(dir.File("part.bin"));
    EXPECT_EQ(saved, (requests - 1) * 4096u);  // the block being read when it came is dropped
    EXPECT_GE(requests, 3u);
    EXPECT_LT(requests, 64u);
    const std::string said = ReadFile(dir.File("err.txt"));
    EXPECT_NE(said.find("Download stopped. " + std::to_string(saved / 1000) + "KB saved."),
              std::string::npos)
        << said;
    EXPECT_EQ(said.find("Download Finished."), std::string::npos) << said;
    ASSERT_EQ(
        RunProgram(FERROLOG_CLI_PATH, {"history-csv", dir.File("part.bin"), dir.File("again.csv")})
            .exitCode,
        0);
    EXPECT_EQ(ReadFile(dir.File("again.csv")), ReadFile(dir.File("part.csv")));
}

TEST(CliHistory, RefusesWhatItCannotDo) {
    TempDir dir;
    // A time stamp reading 2056/53/172 254:192:69, then a reading.
    const std::string impossible = {'\x55', '\xAA', 56,     53, '\xAC', '\xFE', '\xC0',
                                    69,     '\xAA', '\x55', 0,  0x10,   0,      0,
                                    0,      0,      0,      0,  0,      0};
    std::ofstream(dir.File("impossible.bin"), std::ios::binary) << impossible;
    std::ofstream(dir.File("old.bin")) << "kept";
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* says;
    };
    const Case cases[] = {
        {{"history-csv", dir.File("missing.bin"), dir.File("out.csv")}, 1, "cannot read"},
        {{"history-csv", dir.File("missing.bin")}, 2, "usage: history-csv"},
        {{"history"}, 2, "usage: history FILE"},
        {{"history-csv", dir.File("impossible.bin"), dir.File("out.csv")},
         1,
         "reads 2056/53/172 254:192:69"},
        {{"history", dir.File("old")}, 1, "old.bin already exists (--force overwrites it)"},
        {{"history-csv", dir.File("impossible.bin"), dir.File("old.bin")},
         1,
         "old.bin already exists (--force overwrites it)"},
    };
    for (const Case& c : cases) {
        const ProgramResult r = RunProgram(FERROLOG_CLI_PATH, c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.csv")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("old.csv")));
    EXPECT_EQ(ReadFile(dir.File("old.bin")), "kept");

    MeterProcess meter({"--fast", "--model", "ZTX430"});
    const ProgramResult refused = RunProgram(FERROLOG_CLI_PATH, HistoryArgs(meter, dir.File("x")));
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("Only available with ZTX-440."), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.csv")));
}

}  // namespace
