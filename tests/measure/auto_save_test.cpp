#include "measure/auto_save.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "measure/measurement.h"
#include "measure/measurement_file.h"
#include "tests/support/environment.h"
#include "tests/support/file_text.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_time.h"

namespace {

namespace fs = std::filesystem;

constexpr std::time_t k7Dec2026At013045Utc = 1796607045;

// Points the desktop lookup at a temp home and restores the environment afterwards.
class AutoSaveEnvironment : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : kVariables) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            UnsetEnvironment(name);
        }
        SetEnvironment("HOME", home_.Path());
        SetEnvironment("TZ", "UTC");
    }
    void TearDown() override {
        for (const auto& [name, value] : saved_) {
            if (value)
                SetEnvironment(name, *value);
            else
                UnsetEnvironment(name);
        }
    }
    void WriteUserDirs(const std::string& configFolder, const std::string& text) {
        fs::create_directories(configFolder);
        std::ofstream(configFolder + "/user-dirs.dirs") << text;
    }

    static constexpr const char* kVariables[] = {"HOME", "XDG_DESKTOP_DIR", "XDG_CONFIG_HOME",
                                                 "TZ"};
    TempDir home_;
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST(AutoSaveNames, StampRepeatsTheDayBeforeDbm) {
    EXPECT_EQ(AutoSaveStamp(CalendarTime(2026, 12, 7, 1, 30, 45)), "12072026_013045_07dbm");
    EXPECT_EQ(AutoSaveStamp(CalendarTime(2025, 1, 31, 23, 59, 9)), "01312025_235909_31dbm");
}

TEST(AutoSaveNames, NameFollowsKindAndThreshold) {
    const std::string stamp = "12072026_013045_07dbm";
    const struct {
        uint8_t kind;
        int threshold;
        const char* expected;
    } cases[] = {
        {kKindField, -98, "emf_12072026_013045_07dbm.csv"},
        {kKindSpectrum, -98, "rfspectrum_12072026_013045_07dbm_-98dBm.csv"},
        {kKindSpectrum, 0, "rfspectrum_12072026_013045_07dbm_0dBm.csv"},
        {kKindSpectrum, -128, "rfspectrum_12072026_013045_07dbm_-128dBm.csv"},
        {3, -50, "rfspectrum_12072026_013045_07dbm_-50dBm.csv"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AutoSaveFileName(c.kind, stamp, c.threshold), c.expected) << c.expected;
}

TEST_F(AutoSaveEnvironment, DesktopFollowsTheUserDirs) {
    EXPECT_EQ(AutoSaveFolder(), home_.Path() + "/Desktop/Ferrolog_AutoSave");

    WriteUserDirs(home_.File(".config"),
                  "# written by the desktop session\n"
                  "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
                  "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    EXPECT_EQ(DesktopFolder(), home_.Path() + "/Schreibtisch");

    WriteUserDirs(home_.File("cfg"), "XDG_DESKTOP_DIR=\"/srv/desk/\"\n");
    SetEnvironment("XDG_CONFIG_HOME", home_.File("cfg"));
    EXPECT_EQ(DesktopFolder(), "/srv/desk");

    SetEnvironment("XDG_DESKTOP_DIR", home_.File("elsewhere"));
    EXPECT_EQ(DesktopFolder(), home_.File("elsewhere"));
}

TEST_F(AutoSaveEnvironment, FieldBlockGoesIntoTheFolderUnderItsTime) {
    MeasurementBytes bytes{};
    bytes[1200] = 0xAA;
    std::string path = AutoSaveMeasurement(true, kKindField, bytes, -98, k7Dec2026At013045Utc);
    EXPECT_EQ(path, home_.Path() + "/Desktop/Ferrolog_AutoSave/emf_12072026_013045_07dbm.csv");
    EXPECT_EQ(ReadFile(path), MeasurementFileText(kKindField, bytes));
}

TEST_F(AutoSaveEnvironment, SameSecondReplacesTheEarlierSpectrum) {
    MeasurementBytes bytes{};
    std::string first = AutoSaveMeasurement(true, kKindSpectrum, bytes, 0, k7Dec2026At013045Utc);
    bytes[0] = 0xF6;
    std::string second = AutoSaveMeasurement(true, kKindSpectrum, bytes, 0, k7Dec2026At013045Utc);
    EXPECT_EQ(first, second);
    EXPECT_TRUE(second.ends_with("/rfspectrum_12072026_013045_07dbm_0dBm.csv"));
    EXPECT_TRUE(ReadFile(second).starts_with("1,-10,0,"));
    EXPECT_EQ(std::distance(fs::directory_iterator(AutoSaveFolder()), fs::directory_iterator()), 1);
}

TEST_F(AutoSaveEnvironment, NothingWrittenFailsSilently) {
    MeasurementBytes bytes{};
    EXPECT_EQ(AutoSaveMeasurement(false, kKindField, bytes, -98, k7Dec2026At013045Utc), "");
    EXPECT_FALSE(fs::exists(home_.File("Desktop")));

    std::ofstream(home_.File("desk")) << "a file where the desktop should be";
    SetEnvironment("XDG_DESKTOP_DIR", home_.File("desk"));
    EXPECT_EQ(AutoSaveMeasurement(true, kKindField, bytes, -98, k7Dec2026At013045Utc), "");

    UnsetEnvironment("XDG_DESKTOP_DIR");
    UnsetEnvironment("HOME");
    EXPECT_EQ(AutoSaveMeasurement(true, kKindField, bytes, -98, k7Dec2026At013045Utc), "");
}

}  // namespace
