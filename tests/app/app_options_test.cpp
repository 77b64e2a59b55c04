// The window program's command line: what it refuses before anything starts, and the options
// that answer without a display.

#include <gtest/gtest.h>

#include <QStringList>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/field_meter_app.h"
#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"
#include "version.h"

namespace {

// Runs ferrolog where no display can be opened: the toolkit would abort if it started.
ProgramResult RunWithoutDisplay(const std::vector<std::string>& args) {
    const std::string platform = qEnvironmentVariable("QT_QPA_PLATFORM").toStdString();
    const std::string display = qEnvironmentVariable("DISPLAY").toStdString();
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::unsetenv("DISPLAY");
    ProgramResult result = RunProgram(FERROLOG_APP_PATH, args);
    ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
    if (!display.empty()) ::setenv("DISPLAY", display.c_str(), 1);
    return result;
}

TEST(AppOptionsTest, HelpAndVersionAnswerWithoutADisplay) {
    for (const char* help : {"--help", "-h"}) {
        ProgramResult result = RunWithoutDisplay({help});
        EXPECT_EQ(result.exitCode, 0) << help;
        EXPECT_EQ(result.out.rfind("usage: ferrolog", 0), 0u) << result.out;
    }
    ProgramResult version = RunWithoutDisplay({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, std::string("ferrolog ") + kFerrologVersion + "\n");
}

TEST(AppOptionsTest, UnknownOptionsAndMissingDevicesAreRefusedWithStatus2) {
    const std::vector<std::vector<std::string>> refused = {
        {"--bogus"},   {"--port", "3=/dev/ttyNOPE"}, {"--port", "33=/dev/null"}, {"--after"},
        {"-platform"}, {"-platform=offscreen"},  // the toolkit takes -platform NAME only
    };
    for (const auto& args : refused) {
        ProgramResult result = RunWithoutDisplay(args);
        EXPECT_EQ(result.exitCode, 2) << args[0];
        EXPECT_TRUE(result.out.empty()) << result.out;
        EXPECT_EQ(result.err.rfind("ferrolog: ", 0), 0u) << result.err;
    }
    EXPECT_NE(RunWithoutDisplay({"--port", "3=/dev/ttyNOPE"}).err.find("No such file"),
              std::string::npos);
    EXPECT_EQ(RunWithoutDisplay({"--bogus"}).err,
              "ferrolog: unknown option '--bogus' (see --help)\n");
}

// QApplication takes its own options out of the line; the program leaves them to it.
TEST(AppOptionsTest, TheToolkitsOwnOptionsAreLeftToIt) {
    AppOptions options;
    QString error;
    EXPECT_TRUE(ParseAppOptions({"-platform", "offscreen", "-style=Fusion", "--stylesheet", "a.qss",
                                 "-reverse", "-qwindowtitle", "--simulate", "--only-mapped"},
                                &options, &error))
        << error.toStdString();
    EXPECT_TRUE(options.onlyMapped);
    EXPECT_FALSE(options.simulate);  // the window title's value, not an option
    EXPECT_TRUE(options.toolkitStyle);

    // Without a display the window starts only when the toolkit took "-platform offscreen".
    TempDir dir;
    const std::string picture = dir.File("window.png");
    ProgramResult shown =
        RunWithoutDisplay({"-platform", "offscreen", "-style", "Windows", "--only-mapped",
                           "--snapshot", picture, "--after", "0"});
    EXPECT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_TRUE(std::filesystem::exists(picture)) << shown.out;
    // A picture that cannot be written leaves nothing under its name and fails.
    const std::string nowhere = dir.File("missing/window.png");
    ProgramResult failed =
        RunWithoutDisplay({"-platform", "offscreen", "-style", "Windows", "--only-mapped",
                           "--snapshot", nowhere, "--after", "0"});
    EXPECT_EQ(failed.exitCode, 1) << failed.err;
    EXPECT_NE(failed.err.find("cannot write " + nowhere), std::string::npos) << failed.err;
    EXPECT_FALSE(std::filesystem::exists(nowhere));
}

// Installed without its virtual meter, --simulate names the package that brings it.
TEST(AppOptionsTest, SimulateWithoutTheMeterNamesItsPackage) {
    TempDir dir;
    const std::string alone = dir.File("ferrolog");
    std::filesystem::copy_file(FERROLOG_APP_PATH, alone);
    std::filesystem::permissions(alone, std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    const std::string path = qEnvironmentVariable("PATH").toStdString();
    ::setenv("PATH", dir.Path().c_str(), 1);
    ProgramResult result = RunProgram(alone, {"-platform", "offscreen", "--simulate"});
    ::setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("apt-get install ferrolog-meter"), std::string::npos) << result.err;
}

TEST(AppOptionsTest, MeterOptionsArePassedOnToTheVirtualMeter) {
    AppOptions options;
    QString error;
    ASSERT_TRUE(ParseAppOptions({"--simulate", "--meter-option", "--log", "--meter-option",
                                 "/tmp/x.log", "--port", "2=/dev/null"},
                                &options, &error))
        << error.toStdString();
    EXPECT_EQ(options.meterOptions, QStringList({"--log", "/tmp/x.log"}));
    EXPECT_EQ(options.portMappings, std::vector<std::string>{"2=/dev/null"});
}

}  // namespace
