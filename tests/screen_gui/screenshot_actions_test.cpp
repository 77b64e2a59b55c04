// The window's two bitmap commands with the save dialog answered by a script and the
// messages recorded, against the virtual meter.

#include "screen/screenshot_actions.h"

#include <gtest/gtest.h>

#include <QWidget>
#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>

#include "link/message_seam.h"
#include "link/meter_identity.h"
#include "link/meter_link.h"
#include "link/port_table.h"
#include "screen/screen_frame.h"
#include "screen/screen_poll.h"
#include "tests/screen/bitmap_readback.h"
#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"
#include "ui/file_dialog.h"

using namespace bitmap_readback;

namespace {

constexpr int kCom = 9;
constexpr const char* kSaved = "Screenshot Saved.";

// What the dialog was asked to show.
struct DialogSeen {
    bool open = true;
    std::string initialName;
    std::vector<std::string> filterLabels;
    std::vector<std::string> filterPatterns;
};

class ScreenshotCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        meter = std::make_unique<MeterProcess>(std::vector<std::string>{"--fast"});
        ASSERT_FALSE(meter->DevicePath().empty());
        link.port.Ports().Map(kCom, meter->DevicePath());
        link.PortNumber = kCom;
        ASSERT_EQ(link.port.Open(kCom), 1);
        link.DeviceModel = kModelZtx440;
        link.DeviceConnected = true;
        previousHandler =
            SetMessageHandler([this](const std::string& text) { shown.push_back(text); });
    }
    void TearDown() override {
        SetMessageHandler(previousHandler);
        CFileLocalDlg::SetScript({});
    }

    // The dialog answers `name` inside the output folder.
    void AnswerDialogWith(const std::string& name) {
        CFileLocalDlg::SetScript([this, name](const CFileLocalDlg& dialog) {
            DialogSeen s;
            s.open = dialog.IsOpenDialog();
            s.initialName = dialog.InitialName();
            for (const FileFilter& filter : dialog.Filters()) {
                s.filterLabels.push_back(filter.label);
                s.filterPatterns.push_back(filter.pattern);
            }
            seen.push_back(s);
            return std::optional<std::string>(out.File(name));
        });
    }

    void ExpectOneBitmapSaveDialog(const std::string& initialName) {
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_FALSE(seen[0].open);
        EXPECT_EQ(seen[0].initialName, initialName);
        EXPECT_EQ(seen[0].filterLabels, std::vector<std::string>{"BMP Files (*.bmp)"});
        EXPECT_EQ(seen[0].filterPatterns, std::vector<std::string>{"*.bmp"});
    }

    std::unique_ptr<MeterProcess> meter;
    MeterLink link;
    TempDir out;
    QWidget mainWindow;
    MessageHandler previousHandler;
    std::vector<std::string> shown;
    std::vector<DialogSeen> seen;
};

TEST_F(ScreenshotCommandsTest, DownloadScreenshotSavesThroughTheBitmapSaveDialog) {
    AnswerDialogWith("shot");
    DownloadScreenshotCommand(&mainWindow, link, '2');
    ASSERT_EQ(seen.size(), 1u);
    // emfscreenshot2_DDMMYY_HHMMSS, from the meter's time stamp of slot 2
    EXPECT_EQ(seen[0].initialName.rfind("emfscreenshot2_", 0), 0u) << seen[0].initialName;
    EXPECT_EQ(seen[0].initialName.size(), 28u);
    ExpectOneBitmapSaveDialog(seen[0].initialName);
    EXPECT_EQ(shown, std::vector<std::string>{kSaved});
    EXPECT_TRUE(IsScreenBitmap(ReadFileBytes(out.File("shot.bmp"))));
    EXPECT_TRUE(link.PortFree());
    EXPECT_FALSE(link.StopScreenPoll);
}

TEST_F(ScreenshotCommandsTest, SaveScreenWritesTheMirroredFrame) {
    ASSERT_TRUE(
        link.TryTakePort(PortHolder::Mirror));  // one mirror run, as the scheduler starts it
    ScreenPixels mirrored{};
    ScreenPollRun(link, kCom, [&](const uint8_t* pixels) {
        std::copy_n(pixels, mirrored.size(), mirrored.begin());
    });
    ASSERT_TRUE(std::any_of(mirrored.begin(), mirrored.end(), [](uint8_t b) { return b; }));

    AnswerDialogWith("screen");
    SaveScreenCommand(&mainWindow, link, [&] { return mirrored; });
    ExpectOneBitmapSaveDialog("");
    EXPECT_EQ(shown, std::vector<std::string>{kSaved});
    EXPECT_TRUE(ShowsScreen(ReadFileBytes(out.File("screen.bmp")), mirrored.data()));
    EXPECT_TRUE(link.PortFree());
    EXPECT_FALSE(link.StopScreenPoll);
}

}  // namespace
