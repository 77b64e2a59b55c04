// Download Screenshot and Save Screen over a real pseudo-terminal, against the virtual meter
// or a scripted one where exact reply bytes matter; replies that never come whole are tried
// against the virtual meter run in process on a virtual clock.

#include "screen/screenshot_download.h"
#include "link/meter_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <mutex>

#include "link/command_exchange.h"
#include "link/message_seam.h"
#include "link/meter_identity.h"
#include "link/port_table.h"
#include "screen/screen_frame.h"
#include "tests/screen/bitmap_readback.h"
#include "tests/support/meter_process.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/simulated_meter.h"
#include "tests/support/temp_dir.h"

using namespace bitmap_readback;

namespace {

constexpr int kCom = 7;
constexpr const char* kOnlyZtx440 = "Only available with ZTX-440.";
constexpr const char* kComportErrorText = "Comport Error";
constexpr const char* kInfoFailed = "Failed to download. Please try again.";
constexpr const char* kNotFound = "No screenshot found on device.";
constexpr const char* kDownloadFailed = "Download Failed.";
constexpr const char* kSaved = "Screenshot Saved.";
// Frames as the meter's log shows them.
constexpr const char* kGetSsn1Line = "3C 47 45 54 53 53 4E 31 3E 3E";
constexpr const char* kGetSs1Line = "3C 47 45 54 53 53 31 3E 3E";

// A message, and whether the port was held when it was shown.
struct Shown {
    std::string text;
    bool portHeld;
};

class MessageRecorder {
  public:
    explicit MessageRecorder(const MeterLink& link) {
        previous_ = SetMessageHandler([this, &link](const std::string& text) {
            std::lock_guard lock(mutex_);
            shown_.push_back({text, !link.PortFree() && link.StopScreenPoll});
        });
    }
    ~MessageRecorder() { SetMessageHandler(previous_); }
    std::vector<Shown> All() const {
        std::lock_guard lock(mutex_);
        return shown_;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const Shown& s : All())
            texts.push_back(s.text);
        return texts;
    }

  private:
    MessageHandler previous_;
    mutable std::mutex mutex_;
    std::vector<Shown> shown_;
};

// Answers the file choice as a user would, noting what was offered.
struct ScriptedChoice {
    explicit ScriptedChoice(const MeterLink& meterLink) : link(meterLink) {}
    const MeterLink& link;
    std::optional<std::string> answer;
    std::vector<std::string> offered;
    bool portHeldWhileAsked = false;

    BitmapFileChooser Chooser() {
        return [this](const std::string& initialName) {
            offered.push_back(initialName);
            portHeldWhileAsked = !link.PortFree() && link.StopScreenPoll;
            return answer;
        };
    }
};

int CountLines(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

bool PortReleased(const MeterLink& link) {
    return link.PortFree() && !link.StopScreenPoll;
}

Bytes InfoReply(uint8_t year) {
    return {year, 0x0C, 0x1F, 0x17, 0x3B, 0x3B, 0xAA};
}

class ScreenshotTest : public ::testing::Test {
  protected:
    void SetUp() override {
        link.PortNumber = kCom;
        link.DeviceModel = kModelZtx440;
        link.DeviceConnected = true;
    }
    // Save Screen's frame, as the window keeps its last mirrored one.
    MirroredFrame Mirrored() {
        return [this] { return mirrored; };
    }
    ScreenPixels mirrored{};

    // Starts the virtual meter (answering at once, logging every frame) and opens the port
    // on it, as identification leaves it.
    void StartMeter(std::vector<std::string> extra = {}) {
        port.Close();
        inProcess.reset();
        ++meterRuns;
        std::vector<std::string> args = {"--fast", "--log", LogPath()};
        args.insert(args.end(), extra.begin(), extra.end());
        meter = std::make_unique<MeterProcess>(args);
        ASSERT_FALSE(meter->DevicePath().empty());
        OpenPortOn(meter->DevicePath());
    }
    // The same meter run in process on a virtual clock, its link as identification leaves it;
    // Link() is then that link.
    void StartMeterInProcess(std::vector<std::string> extra) {
        inProcess.reset();
        ++meterRuns;
        std::vector<std::string> args = {"--fast", "--log", LogPath()};
        args.insert(args.end(), extra.begin(), extra.end());
        inProcess = std::make_unique<InProcessMeter>(args);
        ASSERT_TRUE(inProcess->meter.Ok()) << inProcess->meter.Error();
        MeterLink& onClock = inProcess->link;
        onClock.PortNumber = kCom;
        onClock.DeviceModel = kModelZtx440;
        onClock.DeviceConnected = true;
        onClock.port.Ports().Map(kCom, kInProcessDevice);
        ASSERT_EQ(onClock.port.Open(kCom), 1);
    }
    MeterLink& Link() { return inProcess ? inProcess->link : link; }
    void OpenPortOn(const std::string& device) {
        link.port.Ports().Map(kCom, device);
        ASSERT_EQ(port.Open(kCom), 1);
    }
    // Each meter started logs into a file of its own.
    std::string LogPath() const {
        return logDir.File("meter" + std::to_string(meterRuns) + ".log");
    }
    std::vector<std::string> Log() const { return ReadLogLines(LogPath()); }

    ScreenshotOutcome Download(char slot = '1') {
        return DownloadScreenshot(link, slot, choice.Chooser());
    }

    TempDir logDir;
    TempDir outDir;
    MeterLink link;
    CSerialPort& port = link.port;
    std::unique_ptr<MeterProcess> meter;
    std::unique_ptr<InProcessMeter> inProcess;
    int meterRuns = 0;
    MessageRecorder messages{link};
    ScriptedChoice choice{link};
};

// ----- gates -------------------------------------------------------------------------------

struct GateRow {
    int model;
    bool downloads;
    bool savesScreen;
};
// clang-format off
constexpr GateRow kGates[] = {
    {kModelNone,       false, false},
    {kModelZtx420,     false, false},
    {kModelZtx420Plus, false, false},
    {kModelZtx430,     false, false},
    {kModelZtx440,     true,  true},
    {kModelZtx8800,    true,  true},
    {kModelTkl,        true,  false},  // downloads, yet cannot save the screen
};
// clang-format on

// Without a connected meter a permitted command gets as far as "Comport Error" with the port
// held; a refused one never takes the port.
TEST_F(ScreenshotTest, ModelGatesOfBothCommands) {
    link.DeviceConnected = false;
    for (const GateRow& row : kGates) {
        SCOPED_TRACE("model " + std::to_string(row.model));
        link.DeviceModel = row.model;
        MessageRecorder recorder(link);
        const ScreenshotOutcome download = Download('1');
        const ScreenshotOutcome save = SaveScreen(link, Mirrored(), choice.Chooser());
        EXPECT_EQ(download,
                  row.downloads ? ScreenshotOutcome::NoMeter : ScreenshotOutcome::Refused);
        EXPECT_EQ(save, row.savesScreen ? ScreenshotOutcome::NoMeter : ScreenshotOutcome::Refused);
        const std::vector<Shown> shown = recorder.All();
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_EQ(shown[0].text, row.downloads ? kComportErrorText : kOnlyZtx440);
        EXPECT_EQ(shown[0].portHeld, row.downloads);
        EXPECT_EQ(shown[1].text, row.savesScreen ? kComportErrorText : kOnlyZtx440);
        EXPECT_EQ(shown[1].portHeld, row.savesScreen);
        EXPECT_TRUE(PortReleased(link));
    }
    EXPECT_TRUE(choice.offered.empty());
}

TEST_F(ScreenshotTest, NoMeterConnectedSendsNothingAndGivesThePortBack) {
    StartMeter();
    link.DeviceConnected = false;
    EXPECT_EQ(Download('1'), ScreenshotOutcome::NoMeter);
    EXPECT_TRUE(PortReleased(link));
    EXPECT_EQ(SaveScreen(link, Mirrored(), choice.Chooser()), ScreenshotOutcome::NoMeter);
    EXPECT_TRUE(PortReleased(link));
    EXPECT_EQ(messages.Texts(), (std::vector<std::string>{kComportErrorText, kComportErrorText}));
    EXPECT_TRUE(choice.offered.empty());
    EXPECT_TRUE(Log().empty());
    EXPECT_TRUE(outDir.Names().empty());
}

// ----- information exchange ----------------------------------------------------------------

TEST_F(ScreenshotTest, NoWholeInformationReplyInSixAttempts) {
    // A request that is never answered is asked again too, as one a meter missed would be.
    struct Case {
        const char* fault;
        int requests;
    };
    const Case cases[] = {{"GETSSN1:silent", 6}, {"GETSSN:corrupt", 6}, {"GETSSN1:short=6", 6}};
    for (const auto& [fault, requests] : cases) {
        SCOPED_TRACE(fault);
        StartMeterInProcess({"--fault", fault});
        MessageRecorder recorder(Link());
        ScriptedChoice unused{Link()};
        EXPECT_EQ(DownloadScreenshot(Link(), '1', unused.Chooser()),
                  ScreenshotOutcome::NoInfoReply);
        EXPECT_EQ(recorder.Texts(), std::vector<std::string>{kInfoFailed});
        EXPECT_TRUE(unused.offered.empty());  // no file dialog
        const std::vector<std::string> log = Log();
        EXPECT_EQ(CountLines(log, kGetSsn1Line), requests);
        EXPECT_EQ(CountLines(log, kGetSs1Line), 0);
        EXPECT_TRUE(PortReleased(Link()));
    }
}

TEST_F(ScreenshotTest, TheMetersEmptySlotIsNotFound) {
    StartMeter({"--empty-slots", "3"});
    EXPECT_EQ(Download('3'), ScreenshotOutcome::SlotEmpty);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{kNotFound});
    EXPECT_TRUE(choice.offered.empty());
    EXPECT_EQ(Log(), std::vector<std::string>{"3C 47 45 54 53 53 4E 33 3E 3E"});
    EXPECT_TRUE(PortReleased(link));
}

// The year byte alone says whether the slot holds a screenshot: below 19, or 0xFF, is empty.
TEST_F(ScreenshotTest, YearByteDecidesWhetherTheSlotIsEmpty) {
    struct Case {
        uint8_t year;
        bool empty;
    };
    const Case cases[] = {{0x00, true}, {0x12, true}, {0x13, false}, {0xFE, false}, {0xFF, true}};
    PtyPair pty;
    std::atomic<uint8_t> year = 0;
    ScriptedPeer peer(pty, [&year](const Bytes&, int) { return ScriptedReply{InfoReply(year)}; });
    OpenPortOn(pty.SlavePath());
    choice.answer = std::nullopt;  // a stored screenshot reaches the dialog, which is cancelled
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.year));
        year = c.year;
        MessageRecorder recorder(link);
        const size_t asked = choice.offered.size();
        EXPECT_EQ(Download('1'),
                  c.empty ? ScreenshotOutcome::SlotEmpty : ScreenshotOutcome::Cancelled);
        EXPECT_EQ(recorder.Texts(),
                  c.empty ? std::vector<std::string>{kNotFound} : std::vector<std::string>{});
        EXPECT_EQ(choice.offered.size() - asked, c.empty ? 0u : 1u);
    }
}

TEST_F(ScreenshotTest, DefaultNameIsTheSlotAndTheScreenshotsTimeStamp) {
    PtyPair pty;
    ScriptedPeer peer(pty, [](const Bytes&, int) { return ScriptedReply{InfoReply(0x19)}; });
    OpenPortOn(pty.SlavePath());
    choice.answer = std::nullopt;
    EXPECT_EQ(Download('1'), ScreenshotOutcome::Cancelled);
    EXPECT_EQ(choice.offered, std::vector<std::string>{"emfscreenshot1_311225_235959"});
    EXPECT_TRUE(choice.portHeldWhileAsked);
    const std::string request = "<GETSSN1>>";
    EXPECT_EQ(peer.Frames(), std::vector<Bytes>{Bytes(request.begin(), request.end())});
}

// ----- file choice -------------------------------------------------------------------------

TEST_F(ScreenshotTest, CancelOrEmptyPathWritesNothingAndSaysNothing) {
    StartMeter();
    const std::optional<std::string> answers[] = {std::nullopt, std::string()};
    for (const auto& answer : answers) {
        choice.answer = answer;
        EXPECT_EQ(Download('1'), ScreenshotOutcome::Cancelled);
        EXPECT_TRUE(PortReleased(link));
        EXPECT_EQ(SaveScreen(link, Mirrored(), choice.Chooser()), ScreenshotOutcome::Cancelled);
        EXPECT_TRUE(PortReleased(link));
    }
    EXPECT_TRUE(messages.Texts().empty());
    EXPECT_TRUE(outDir.Names().empty());
    EXPECT_EQ(CountLines(Log(), kGetSs1Line), 0);  // no pixels asked for
    ASSERT_EQ(choice.offered.size(), 4u);
    EXPECT_EQ(choice.offered[1], "");  // Save Screen offers no name
}

TEST_F(ScreenshotTest, ChosenNameGetsBmpExactlyOnce) {
    struct Case {
        const char* chosen;
        const char* written;
    };
    const Case cases[] = {{"shot", "shot.bmp"}, {"shot.bmp", "shot.bmp"}, {"a.bmp.b", "a.b.bmp"}};
    StartMeter();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        TempDir folder;
        choice.answer = folder.File(c.chosen);
        EXPECT_EQ(Download('1'), ScreenshotOutcome::Saved);
        EXPECT_EQ(folder.Names(), std::vector<std::string>{c.written});
    }
}

// ----- pixel exchange and the file ---------------------------------------------------------

TEST_F(ScreenshotTest, DownloadWritesTheMetersStoredScreenshot) {
    StartMeter();
    // What the meter holds in slot 1, asked for before the download.
    std::array<uint8_t, 1025> stored{};
    ASSERT_TRUE(
        RunExchange(port, kShotPixelsPolicy, BuildFrame("GETSS1"), stored.data(), kCom).whole);
    const long inkBits =
        std::count_if(stored.begin(), stored.begin() + 1024, [](uint8_t b) { return b != 0; });
    ASSERT_GT(inkBits, 0);  // a real picture, not a blank screen

    choice.answer = outDir.File("slot1");
    EXPECT_EQ(Download('1'), ScreenshotOutcome::Saved);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{kSaved});
    EXPECT_TRUE(messages.All().back().portHeld);  // the port goes back after the message
    EXPECT_TRUE(PortReleased(link));
    EXPECT_TRUE(ShowsScreen(ReadFileBytes(outDir.File("slot1.bmp")), stored.data()));
    const std::vector<std::string> log = Log();
    EXPECT_EQ(CountLines(log, kGetSsn1Line), 1);
    EXPECT_EQ(CountLines(log, kGetSs1Line), 2);  // ours and the download's
}

TEST_F(ScreenshotTest, NoWholePixelReplyInSixAttemptsWritesNoFile) {
    StartMeter({"--fault", "GETSS:corrupt"});
    choice.answer = outDir.File("shot");
    EXPECT_EQ(Download('1'), ScreenshotOutcome::NoPixelReply);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{kDownloadFailed});
    EXPECT_EQ(CountLines(Log(), kGetSs1Line), 6);
    EXPECT_TRUE(outDir.Names().empty());
    EXPECT_TRUE(PortReleased(link));
}

// One byte short of whole: the trailer position stays zero, even right after a whole reply.
TEST_F(ScreenshotTest, ShortPixelReplyNeverPasses) {
    StartMeterInProcess({"--fault", "GETSS1:short=1024:all:1"});  // the first reply is whole
    MessageRecorder shown(Link());
    ScriptedChoice shotChoice{Link()};
    shotChoice.answer = outDir.File("first");
    ASSERT_EQ(DownloadScreenshot(Link(), '1', shotChoice.Chooser()), ScreenshotOutcome::Saved);
    shotChoice.answer = outDir.File("second");
    EXPECT_EQ(DownloadScreenshot(Link(), '1', shotChoice.Chooser()),
              ScreenshotOutcome::NoPixelReply);
    EXPECT_EQ(shown.Texts(), (std::vector<std::string>{kSaved, kDownloadFailed}));
    EXPECT_EQ(CountLines(Log(), kGetSs1Line), 1 + 6);
    EXPECT_EQ(outDir.Names(), std::vector<std::string>{"first.bmp"});
}

TEST_F(ScreenshotTest, FileThatCannotBeCreatedIsADownloadFailure) {
    StartMeter();
    choice.answer = outDir.File("missing-folder/shot");
    EXPECT_EQ(Download('1'), ScreenshotOutcome::WriteFailed);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{kDownloadFailed});
    EXPECT_TRUE(outDir.Names().empty());
    EXPECT_TRUE(PortReleased(link));
}

// ----- Save Screen -------------------------------------------------------------------------

TEST_F(ScreenshotTest, SaveScreenBeforeAnyFrameIsAllPaperAndSendsNothing) {
    StartMeter();
    choice.answer = outDir.File("screen");
    EXPECT_EQ(SaveScreen(link, Mirrored(), choice.Chooser()), ScreenshotOutcome::Saved);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{kSaved});
    EXPECT_TRUE(choice.portHeldWhileAsked);
    EXPECT_TRUE(PortReleased(link));
    const std::array<uint8_t, 1024> blank{};
    EXPECT_TRUE(ShowsScreen(ReadFileBytes(outDir.File("screen.bmp")), blank.data()));
    EXPECT_TRUE(Log().empty());
}

TEST_F(ScreenshotTest, SaveScreenTopRightPixelIsTheLastBlockOfTheLastRows) {
    mirrored[1023] = 0x80;
    choice.answer = outDir.File("screen.bmp");
    ASSERT_EQ(SaveScreen(link, Mirrored(), choice.Chooser()), ScreenshotOutcome::Saved);
    const FileBytes file = ReadFileBytes(outDir.File("screen.bmp"));
    ASSERT_TRUE(IsScreenBitmap(file));
    for (int row = 0; row < 256; ++row)
        for (int x = 0; x < 512; ++x) {
            const bool ink = row >= 252 && x >= 508;
            ASSERT_TRUE(StoredPixelIs(file, x, row, ink ? kInkBgr : kPaperBgr))
                << "row " << row << " x " << x;
        }
}

TEST_F(ScreenshotTest, SaveScreenReportsAFileThatCannotBeCreated) {
    choice.answer = outDir.File("missing-folder/screen");
    EXPECT_EQ(SaveScreen(link, Mirrored(), choice.Chooser()), ScreenshotOutcome::WriteFailed);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{kSaveScreenWriteFailedMessage});
    EXPECT_EQ(std::string(kSaveScreenWriteFailedMessage), "Failed to create the file.");
    EXPECT_TRUE(outDir.Names().empty());
    EXPECT_TRUE(PortReleased(link));
}

}  // namespace
