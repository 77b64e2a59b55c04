// The history download against the virtual meter: over a real pseudo-terminal, or run in process
// on a virtual clock where only the exchanges' logic is tried (late and silent meters).

#include "history/history_download.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <regex>
#include <thread>

#include "history/history_csv.h"
#include "history/history_record_walk.h"
#include "link/link_timing.h"
#include "link/meter_link.h"
#include "link/port_table.h"
#include "tests/support/file_text.h"
#include "tests/support/meter_process.h"
#include "tests/support/simulated_meter.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kCom = 9;
constexpr const char* kHeaderLines =
    "ZTX-440 Data Logged History\r\n"
    ",EMF,EF,RF Power Density\r\n"
    "Date and Time,mG,V/m,mW/m2,mW/cm2,pW/cm2, Possible Source\r\n";

// "<SPIR" + address + 0x10 0x00 + ">>" as the meter logs it.
std::string RequestLine(const char* addressHex) {
    return std::string("3C 53 50 49 52 ") + addressHex + " 10 00 3E 3E";
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void PutFloat(Bytes& bytes, size_t at, float value) {
    std::memcpy(&bytes[at], &value, sizeof value);  // little-endian, as the meter stores it
}

// What the dialog would show, recorded; the test may act on a status line as it appears.
class RecordingView : public HistoryView {
  public:
    explicit RecordingView(std::optional<std::string> answer) : answer_(std::move(answer)) {}

    std::function<void(const std::string& status)> onStatus;

    std::optional<std::string> ChooseSavePath(const std::string& initialName) override {
        std::lock_guard lock(mutex_);
        initialName_ = initialName;
        return answer_;
    }
    void SetStatus(const std::string& text) override {
        {
            std::lock_guard lock(mutex_);
            statuses_.push_back(text);
        }
        changed_.notify_all();
        if (onStatus) onStatus(text);
    }
    void SetProgress(int percent, size_t) override {
        std::lock_guard lock(mutex_);
        progress_.push_back(percent);
    }
    void SetDownloadCaption(const std::string& text) override {
        std::lock_guard lock(mutex_);
        captions_.push_back("1062 " + text);
    }
    void SetExitCaption(const std::string& text) override {
        std::lock_guard lock(mutex_);
        captions_.push_back("1064 " + text);
    }
    void ShowFinished(const std::string& text) override {
        std::lock_guard lock(mutex_);
        messages_.push_back(text);
    }

    void WaitForStatus(const std::string& text) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] {
            return std::find(statuses_.begin(), statuses_.end(), text) != statuses_.end();
        });
    }

    std::string InitialName() const { return Locked(initialName_); }
    std::vector<std::string> Statuses() const { return Locked(statuses_); }
    std::vector<int> Progress() const { return Locked(progress_); }
    std::vector<std::string> Captions() const { return Locked(captions_); }
    std::vector<std::string> Messages() const { return Locked(messages_); }

  private:
    template <typename T>
    T Locked(const T& value) const {
        std::lock_guard lock(mutex_);
        return value;
    }

    std::optional<std::string> answer_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string initialName_;
    std::vector<std::string> statuses_;
    std::vector<int> progress_;
    std::vector<std::string> captions_;
    std::vector<std::string> messages_;
};

class HistoryDownloadTest : public ::testing::Test {
  protected:
    void TearDown() override {
        port_.Close();
        inProcess_.reset();
    }

    // Starts the meter with its frame log in the temp folder and opens the port on it.
    void StartMeter(std::vector<std::string> args) {
        args.insert(args.end(), {"--log", LogPath()});
        meter_ = std::make_unique<MeterProcess>(args);
        ASSERT_FALSE(meter_->DevicePath().empty());
        link.port.Ports().Map(kCom, meter_->DevicePath());
        ASSERT_EQ(port_.Open(kCom), 1);
    }

    // The same meter run in process on a virtual clock; its port is InProcessPort().
    void StartMeterInProcess(std::vector<std::string> args) {
        args.insert(args.end(), {"--log", LogPath()});
        inProcess_.reset();
        inProcess_ = std::make_unique<InProcessMeter>(args);
        ASSERT_TRUE(inProcess_->meter.Ok()) << inProcess_->meter.Error();
        InProcessPort().Ports().Map(kCom, kInProcessDevice);
        ASSERT_EQ(InProcessPort().Open(kCom), 1);
    }
    CSerialPort& InProcessPort() { return inProcess_->link.port; }

    std::string LogPath() const { return dir_.File("meter.log"); }
    std::vector<std::string> Requests() const { return ReadLogLines(LogPath()); }
    std::string Chosen(const std::string& name) const { return dir_.File(name); }

    TempDir dir_;
    std::unique_ptr<MeterProcess> meter_;
    MeterLink link;
    CSerialPort& port_ = link.port;
    std::unique_ptr<InProcessMeter> inProcess_;
};

const std::vector<std::string> kCaptionsOfAFinishedDownload = {
    "1062 Stop/Save", "1064 Cancel", "1062 Please wait..", "1062 Download", "1064 Exit"};
const std::vector<std::string> kCaptionsOfAnAbandonedDownload = {"1062 Stop/Save", "1064 Cancel",
                                                                 "1062 Download", "1064 Exit"};

TEST_F(HistoryDownloadTest, MemoryStartsZeroed) {
    RecordingView view(Chosen("unused"));
    const HistoryDownload download(port_, view);
    EXPECT_TRUE(std::all_of(download.Memory(), download.Memory() + kHistoryMemorySize,
                            [](uint8_t b) { return b == 0; }));
}

TEST_F(HistoryDownloadTest, ErasedFirstBlockSavesTheHeaderAlone) {
    StartMeter({"--fast", "--history-blocks", "0"});
    RecordingView view(Chosen("empty"));
    HistoryDownload download(port_, view);
    const HistoryResult result = download.Run();

    EXPECT_EQ(result.outcome, HistoryOutcome::Finished);
    EXPECT_EQ(result.countedBytes, 0u);
    EXPECT_TRUE(std::regex_match(view.InitialName(), std::regex(R"(emfhistory_\d{8}_\d{6})")))
        << view.InitialName();
    EXPECT_EQ(view.Statuses(),
              (std::vector<std::string>{"Downloading 0KB of maximum 1MB", "Saving to file..."}));
    EXPECT_EQ(view.Progress(), (std::vector<int>{1, 5}));  // saving shows at least 5
    EXPECT_EQ(view.Captions(), kCaptionsOfAFinishedDownload);
    EXPECT_EQ(view.Messages(), std::vector<std::string>{"Download Finished. 0KB"});
    EXPECT_EQ(ReadFile(Chosen("empty.csv")), kHeaderLines);
    EXPECT_TRUE(std::filesystem::exists(Chosen("empty.bin")));
    EXPECT_EQ(std::filesystem::file_size(Chosen("empty.bin")), 0u);
    EXPECT_EQ(Requests(), std::vector<std::string>{RequestLine("00 00 00")});
    EXPECT_FALSE(download.Flags().HistoryDownloading);
}

// Two blocks of records written by hand, then erased memory: the CSV holds exactly their two
// readings and the dump exactly their bytes.
TEST_F(HistoryDownloadTest, BlocksBeforeTheErasedOneAreCountedDecodedAndDumped) {
    Bytes image(2 * kHistoryBlockSize, 0x00);  // 0x00 pairs are skipped by the decoder
    const Bytes stamp = {0x55, 0xAA, 0x18, 0x01, 0x1E, 0x17, 0x3B, 0x3B};  // 2024/01/30 23:59:59
    std::copy(stamp.begin(), stamp.end(), image.begin());
    const Bytes first = {0xAA, 0x55, 0x01, 0x23};  // 18.3 mG
    std::copy(first.begin(), first.end(), image.begin() + 8);
    PutFloat(image, 12, 1.0f);
    PutFloat(image, 16, 1000.0f);
    image[20] = 0x5A;
    image[21] = 0x04;                               // WiFi/Phone
    const Bytes second = {0xAA, 0x55, 0x00, 0x0F};  // block 1 opens with a reading: 0.15 mG
    std::copy(second.begin(), second.end(), image.begin() + kHistoryBlockSize);
    PutFloat(image, kHistoryBlockSize + 4, 12.5f);
    PutFloat(image, kHistoryBlockSize + 8, 0.0f);
    WriteFile(dir_.File("image.bin"), image);

    StartMeter({"--fast", "--history-file", dir_.File("image.bin")});
    RecordingView view(Chosen("dump.csv"));
    HistoryDownload download(port_, view);
    const HistoryResult result = download.Run();

    EXPECT_EQ(result.outcome, HistoryOutcome::Finished);
    EXPECT_EQ(result.countedBytes, 8192u);
    EXPECT_EQ(view.Messages(), std::vector<std::string>{"Download Finished. 8KB"});
    EXPECT_EQ(ReadFile(Chosen("dump.csv")),
              std::string(kHeaderLines) +
                  "2024/01/30 23:59:59,18.3,1.0,0.010,0.000,1000.000,WiFi/Phone\r\n"
                  "2024/02/01 00:00:00,0.15,12.5,0.000,0.000,0.000,\r\n");
    EXPECT_EQ(ReadFile(Chosen("dump.csv.bin")), std::string(image.begin(), image.end()));
    EXPECT_EQ(Requests(),
              (std::vector<std::string>{RequestLine("00 00 00"), RequestLine("00 10 00"),
                                        RequestLine("00 20 00")}));
}

TEST_F(HistoryDownloadTest, GeneratedLogDecodesFromTheCountedDump) {
    StartMeter({"--fast", "--history-blocks", "3"});
    RecordingView view(Chosen("log"));
    HistoryDownload download(port_, view);
    bool downloadingSeen = false;
    view.onStatus = [&](const std::string&) {
        downloadingSeen = downloadingSeen || download.Flags().HistoryDownloading;
    };
    const HistoryResult result = download.Run();

    EXPECT_EQ(result.outcome, HistoryOutcome::Finished);
    EXPECT_EQ(result.countedBytes, 3 * kHistoryBlockSize);
    EXPECT_TRUE(downloadingSeen);
    EXPECT_FALSE(download.Flags().HistoryDownloading);
    EXPECT_EQ(view.Messages(), std::vector<std::string>{"Download Finished. 12KB"});
    const std::string dump = ReadFile(Chosen("log.bin"));
    ASSERT_EQ(dump.size(), 3 * kHistoryBlockSize);
    EXPECT_EQ(0, std::memcmp(dump.data(), download.Memory(), dump.size()));
    const std::string csv = ReadFile(Chosen("log.csv"));
    EXPECT_EQ(csv, HistoryCsvText(reinterpret_cast<const uint8_t*>(dump.data()), dump.size()));
    EXPECT_GT(std::count(csv.begin(), csv.end(), '\n'), 300);  // ~12 KB of 12–14-byte readings

    const std::vector<std::string> requests = Requests();
    ASSERT_EQ(requests.size(), 4u);  // the fourth block reads as erased
    EXPECT_EQ(requests[3], "3C 53 50 49 52 00 30 00 10 00 3E 3E");
}

TEST_F(HistoryDownloadTest, FullMemoryIsReadToItsLastBlock) {
    StartMeter({"--fast", "--history-blocks", "256"});
    RecordingView view(Chosen("full"));
    HistoryDownload download(port_, view);
    const HistoryResult result = download.Run();

    EXPECT_EQ(result.outcome, HistoryOutcome::Finished);
    EXPECT_EQ(result.countedBytes, kHistoryMemorySize);
    EXPECT_EQ(view.Messages(), std::vector<std::string>{"Download Finished. 1048KB"});
    EXPECT_EQ(view.Statuses().at(255), "Downloading 1044KB of maximum 1MB");
    EXPECT_EQ(view.Progress().at(255), 99);  // 1044480 × 100 / 1048576 = 99.6
    EXPECT_EQ(view.Progress().back(), 100);
    const std::vector<std::string> requests = Requests();
    ASSERT_EQ(requests.size(), 256u);
    EXPECT_EQ(requests.front(), RequestLine("00 00 00"));
    EXPECT_EQ(requests.back(), "3C 53 50 49 52 0F F0 00 10 00 3E 3E");
    EXPECT_EQ(std::filesystem::file_size(Chosen("full.bin")), kHistoryMemorySize);
}

TEST_F(HistoryDownloadTest, StopSaveDuringThe40thBlockKeeps39) {
    StartMeter({"--fast", "--history-blocks", "64"});
    RecordingView view(Chosen("stopped"));
    HistoryDownload download(port_, view);
    view.onStatus = [&](const std::string& status) {
        if (status == HistoryDownloadingStatus(39 * kHistoryBlockSize))
            download.Flags().HistoryStopSave = true;
    };
    const HistoryResult result = download.Run();

    EXPECT_EQ(result.outcome, HistoryOutcome::Finished);
    EXPECT_EQ(result.countedBytes, 159744u);
    EXPECT_FALSE(download.Flags().HistoryStopSave);  // acted on, so cleared
    EXPECT_EQ(view.Messages(), std::vector<std::string>{"Download Finished. 159KB"});
    EXPECT_EQ(Requests().size(), 40u);  // the 40th block was read, not counted
    EXPECT_EQ(std::filesystem::file_size(Chosen("stopped.bin")), 159744u);
    const std::string csv = ReadFile(Chosen("stopped.csv"));
    EXPECT_EQ(csv, HistoryCsvText(download.Memory(), 159744));
}

TEST_F(HistoryDownloadTest, PendingStopSaveFromAnEarlierDownloadIsDropped) {
    StartMeter({"--fast", "--history-blocks", "2"});
    RecordingView view(Chosen("again"));
    HistoryDownload download(port_, view);
    download.Flags().HistoryStopSave = true;  // pressed while the last one was saving
    const HistoryResult result = download.Run();
    EXPECT_EQ(result.outcome, HistoryOutcome::Finished);
    EXPECT_EQ(result.countedBytes, 2 * kHistoryBlockSize);
}

// At wire speed, cancelled from another thread as the user would: seen at once while the
// worker waits for a block.
TEST_F(HistoryDownloadTest, CancelDeletesTheCsvAndLeavesTheDumpEmpty) {
    StartMeter({"--history-blocks", "64"});
    RecordingView view(Chosen("cancelled"));
    HistoryDownload download(port_, view);
    HistoryResult result;
    std::thread worker([&] { result = download.Run(); });
    view.WaitForStatus(HistoryDownloadingStatus(2 * kHistoryBlockSize));
    SleepMs(100);  // into the third block's wait
    ASSERT_TRUE(std::filesystem::exists(Chosen("cancelled.csv")));
    Stopwatch sinceCancel;
    download.Flags().HistoryCancel = true;
    worker.join();

    EXPECT_LT(sinceCancel.ElapsedMs(), 400.0);  // not the rest of the 450 ms wait
    EXPECT_EQ(result.outcome, HistoryOutcome::Canceled);
    EXPECT_EQ(view.Statuses().back(), "Canceled.");
    EXPECT_EQ(view.Captions(), kCaptionsOfAnAbandonedDownload);
    EXPECT_TRUE(view.Messages().empty());
    EXPECT_FALSE(download.Flags().HistoryDownloading);
    EXPECT_FALSE(std::filesystem::exists(Chosen("cancelled.csv")));
    ASSERT_TRUE(std::filesystem::exists(Chosen("cancelled.bin")));
    EXPECT_EQ(std::filesystem::file_size(Chosen("cancelled.bin")), 0u);
}

// No answer at all, or whole answers that are never the meter's memory: the block is asked for
// while the row's ten attempts last, then the download fails with nothing counted.
TEST_F(HistoryDownloadTest, AMeterThatNeverSendsItsMemoryFailsTheDownloadAtItsFirstBlock) {
    for (const char* fault : {"SPIR:silent", "SPIR:garbage"}) {
        SCOPED_TRACE(fault);
        std::filesystem::remove(LogPath());
        StartMeterInProcess({"--fast", "--fault", fault});
        RecordingView view(Chosen("failed"));
        HistoryDownload download(InProcessPort(), view);
        const HistoryResult result = download.Run();

        EXPECT_EQ(result.outcome, HistoryOutcome::Failed);
        EXPECT_EQ(result.countedBytes, 0u);
        EXPECT_EQ(Requests(), std::vector<std::string>(10, RequestLine("00 00 00")));
        EXPECT_EQ(view.Statuses().back(), "Download Failed.");
        EXPECT_EQ(view.Captions(), kCaptionsOfAnAbandonedDownload);
        EXPECT_TRUE(view.Messages().empty());
        EXPECT_FALSE(std::filesystem::exists(Chosen("failed.csv")));
        EXPECT_EQ(std::filesystem::file_size(Chosen("failed.bin")), 0u);
        InProcessPort().Close();
    }
}

// Replies later than every wait: a reply to an earlier request is never taken for a later
// block. The download either holds exactly the meter's memory or fails.
TEST_F(HistoryDownloadTest, ALateMeterGivesTheExactMemoryOrAFailedDownload) {
    Bytes memory(3 * kHistoryBlockSize);  // time stamps, a day of its own in each block
    for (size_t i = 0; i < memory.size(); i += 8) {
        const Bytes stamp = {0x55, 0xAA, 26, 3, uint8_t(1 + i / 4096), 4, 5, uint8_t(i % 60)};
        std::copy(stamp.begin(), stamp.end(), memory.begin() + static_cast<ptrdiff_t>(i));
    }
    WriteFile(dir_.File("memory.bin"), memory);
    for (const char* late : {"SPIR:late=1000", "SPIR:late=1500"}) {
        SCOPED_TRACE(late);
        StartMeterInProcess({"--fast", "--history-file", dir_.File("memory.bin"), "--fault", late});
        RecordingView view(Chosen("late"));
        HistoryDownload download(InProcessPort(), view);
        const HistoryResult result = download.Run();
        if (result.outcome == HistoryOutcome::Finished) {
            ASSERT_EQ(result.countedBytes, memory.size());
            EXPECT_EQ(ReadFile(Chosen("late.bin")), std::string(memory.begin(), memory.end()));
        } else {
            EXPECT_EQ(result.outcome, HistoryOutcome::Failed);
            EXPECT_EQ(view.Statuses().back(), "Download Failed.");
        }
        InProcessPort().Close();
    }
}

TEST_F(HistoryDownloadTest, AMeterUnpluggedDuringTheDownloadFailsIt) {
    StartMeter({"--fast", "--history-blocks", "8", "--unplug-after", "3"});
    RecordingView view(Chosen("unplugged"));
    HistoryDownload download(port_, view);
    const HistoryResult result = download.Run();

    EXPECT_EQ(result.outcome, HistoryOutcome::Failed);
    EXPECT_EQ(result.countedBytes, 2 * kHistoryBlockSize);
    EXPECT_EQ(view.Statuses().back(), "Download Failed.");
    EXPECT_TRUE(link.LinkLost);
    EXPECT_FALSE(port_.IsOpen());
    EXPECT_FALSE(std::filesystem::exists(Chosen("unplugged.csv")));
    link.LinkLost = false;
}

// A reply cut two bytes short, or one that happens to end 0xBB 0xBB, leaves the block
// incomplete, and one of letters is no memory: the same block is asked for again after the
// 500 ms pause, and then taken. The short one is waited for to the end of the 450 ms wait; the
// whole ones are read at once.
TEST_F(HistoryDownloadTest, IncompleteBlockIsAskedForAgain) {
    struct Case {
        const char* fault;  // spoils the second SPIR reply only
        double leastMs;
    };
    for (const Case& c : {Case{"SPIR:short=4094:1:1", 450.0 + 500.0}, Case{"SPIR:marks:1:1", 500.0},
                          Case{"SPIR:garbage:1:1", 500.0}}) {
        SCOPED_TRACE(c.fault);
        std::filesystem::remove(LogPath());
        StartMeterInProcess({"--fast", "--history-blocks", "3", "--fault", c.fault});
        RecordingView view(Chosen("retried"));
        HistoryDownload download(InProcessPort(), view);
        Stopwatch watch(InProcessPort().clock());
        const HistoryResult result = download.Run();

        EXPECT_EQ(result.outcome, HistoryOutcome::Finished);
        EXPECT_EQ(result.countedBytes, 3 * kHistoryBlockSize);
        EXPECT_EQ(FirstImpossibleStamp(download.Memory(), result.countedBytes), std::nullopt);
        EXPECT_GE(watch.ElapsedMs(), c.leastMs);
        EXPECT_EQ(Requests(),
                  (std::vector<std::string>{RequestLine("00 00 00"), RequestLine("00 10 00"),
                                            RequestLine("00 10 00"), RequestLine("00 20 00"),
                                            RequestLine("00 30 00")}));
        InProcessPort().Close();
    }
}

TEST_F(HistoryDownloadTest, NoFileChosenMeansNothingIsAsked) {
    StartMeter({"--fast"});
    for (std::optional<std::string> answer :
         {std::optional<std::string>{}, std::optional<std::string>{""}}) {
        RecordingView view(answer);
        HistoryDownload download(port_, view);
        EXPECT_EQ(download.Run().outcome, HistoryOutcome::NoFile);
        EXPECT_TRUE(view.Captions().empty());
        EXPECT_TRUE(view.Statuses().empty());
    }
    EXPECT_TRUE(Requests().empty());
}

TEST_F(HistoryDownloadTest, OutputsThatCannotBeCreatedDoNotStopTheDownload) {
    StartMeter({"--fast", "--history-blocks", "2"});
    RecordingView view(dir_.File("no-such-folder/log"));
    HistoryDownload download(port_, view);
    const HistoryResult result = download.Run();
    EXPECT_EQ(result.outcome, HistoryOutcome::Finished);
    EXPECT_EQ(result.countedBytes, 2 * kHistoryBlockSize);
    EXPECT_EQ(view.Messages(), std::vector<std::string>{"Download Finished. 8KB"});
    EXPECT_FALSE(std::filesystem::exists(dir_.File("no-such-folder")));
}

}  // namespace
