// ferrolog-cli screenshot and screen, run as a user runs them, against the virtual meter.

#include <gtest/gtest.h>

#include <array>

#include "link/command_exchange.h"
#include "link/meter_link.h"
#include "link/port_table.h"
#include "tests/screen/bitmap_readback.h"
#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"

using namespace bitmap_readback;

namespace {

constexpr int kCom = 11;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

ProgramResult RunCli(const MeterProcess& meter, std::vector<std::string> job) {
    std::vector<std::string> args = {"--device", meter.DevicePath()};
    args.insert(args.end(), job.begin(), job.end());
    return RunProgram(FERROLOG_CLI_PATH, args);
}

// The meter's stored screenshot, asked for directly once the tool has let go of the port.
std::array<uint8_t, 1025> StoredScreenshot(const MeterProcess& meter, char slot) {
    std::array<uint8_t, 1025> reply{};
    MeterLink link;
    CSerialPort& port = link.port;
    port.Ports().Map(kCom, meter.DevicePath());
    if (port.Open(kCom))
        RunExchange(port, kShotPixelsPolicy, BuildFrame(std::string("GETSS") + slot), reply.data(),
                    kCom);
    return reply;
}

}  // namespace

TEST(CliScreen, ScreenshotJobWritesTheStoredScreenshot) {
    MeterProcess meter({"--fast"});
    TempDir out;
    const ProgramResult r = RunCli(meter, {"screenshot", "1", out.File("shot")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Contains(r.err, "Screenshot Saved.")) << r.err;
    EXPECT_TRUE(Contains(r.out, out.File("shot.bmp"))) << r.out;
    const std::array<uint8_t, 1025> stored = StoredScreenshot(meter, '1');
    ASSERT_EQ(stored[1024], 0xAA);
    EXPECT_TRUE(ShowsScreen(ReadFileBytes(out.File("shot.bmp")), stored.data()));
}

TEST(CliScreen, ScreenshotWithoutFileTakesTheMetersNameInTheCurrentFolder) {
    MeterProcess meter({"--fast"});
    TempDir out;
    const ProgramResult r =
        RunProgram("/bin/sh", {"-c", "cd '" + out.Path() + "' && exec '" + FERROLOG_CLI_PATH +
                                         "' --device '" + meter.DevicePath() + "' screenshot 2"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::vector<std::string> files = out.Names();
    ASSERT_EQ(files.size(), 1u);
    // emfscreenshot2_DDMMYY_HHMMSS.bmp
    EXPECT_EQ(files[0].rfind("emfscreenshot2_", 0), 0u) << files[0];
    EXPECT_EQ(files[0].size(), 32u) << files[0];
    EXPECT_TRUE(IsScreenBitmap(ReadFileBytes(out.File(files[0]))));
}

TEST(CliScreen, ScreenJobWritesTheLiveScreen) {
    MeterProcess meter({"--fast"});
    TempDir out;
    const ProgramResult r = RunCli(meter, {"screen", out.File("live.bmp")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Contains(r.err, "Screenshot Saved.")) << r.err;
    const FileBytes file = ReadFileBytes(out.File("live.bmp"));
    ASSERT_TRUE(IsScreenBitmap(file));
    bool anyInk = false;
    for (int x = 0; x < 512 && !anyInk; ++x)
        for (int row = 0; row < 256 && !anyInk; ++row)
            anyInk = StoredPixelIs(file, x, row, kInkBgr);
    EXPECT_TRUE(anyInk);  // the meter's screen, not the blank frame held before any read
}

TEST(CliScreen, FailuresExitNonZeroWithTheMessageAndNoFile) {
    struct Case {
        std::vector<std::string> meterArgs;
        std::vector<std::string> job;
        const char* message;
    };
    const Case cases[] = {
        {{"--empty-slots", "3"}, {"screenshot", "3", "x"}, "No screenshot found on device."},
        {{"--fault", "GETSS:corrupt"}, {"screenshot", "1", "x"}, "Download Failed."},
        {{"--model", "ZTX430"}, {"screenshot", "1", "x"}, "Only available with ZTX-440."},
        {{"--model", "TKL"}, {"screen", "x"}, "Only available with ZTX-440."},
        {{"--fault", "GETSCREEN:silent"}, {"screen", "x"}, "Download Failed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.job[0] + " " + c.job[1] + " / " + c.meterArgs[1]);
        std::vector<std::string> meterArgs = {"--fast"};
        meterArgs.insert(meterArgs.end(), c.meterArgs.begin(), c.meterArgs.end());
        MeterProcess meter(meterArgs);
        TempDir out;
        std::vector<std::string> job = c.job;
        job.back() = out.File(job.back());
        const ProgramResult r = RunCli(meter, job);
        EXPECT_NE(r.exitCode, 0);
        EXPECT_TRUE(Contains(r.err, c.message)) << r.err;
        EXPECT_TRUE(out.Names().empty());
    }
}

TEST(CliScreen, MalformedJobsAreUsageErrors) {
    const std::vector<std::string> jobs[] = {
        {"screenshot"},       {"screenshot", "0"},           {"screenshot", "5"},
        {"screenshot", "12"}, {"screenshot", "1", "a", "b"}, {"screen"},
        {"screen", "a", "b"},
    };
    for (const auto& job : jobs) {
        const ProgramResult r = RunProgram(FERROLOG_CLI_PATH, job);
        EXPECT_EQ(r.exitCode, 2) << job.size() << " words: " << r.err;
    }
}
