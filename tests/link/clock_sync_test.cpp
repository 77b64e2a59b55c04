// Sync Time: the clock frame, its pacing on the wire, the model gate and every way it ends. The
// pacing and the virtual meter's sync cross a real pseudo-terminal; the gate and the endings are
// tried behind the scripted backend on a virtual clock, where their waits are exact.

#include "link/clock_sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "link/link_timing.h"
#include "link/message_seam.h"
#include "link/meter_link.h"
#include "link/port_table.h"
#include "tests/support/meter_process.h"
#include "tests/support/scripted_backend.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_time.h"

namespace {

constexpr int kCom = 7;
constexpr int kFrameBytes = 20;
constexpr double kPauseMs = 1000.0;

const std::tm kNewYearsEve = CalendarTime(2026, 12, 31, 23, 59, 59);

std::tm NewYearsEve() {
    return kNewYearsEve;
}

class ClockSyncTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = SetMessageHandler([this](const std::string& text) {
            std::lock_guard lock(mutex_);
            messages_.push_back(text);
        });
    }
    void TearDown() override { SetMessageHandler(previous_); }

    // A sync as Tools > Sync Time makes it: the outcome is said afterwards.
    bool Sync(const LocalTimeSource& localTime) { return SyncOn(link, localTime); }
    bool SyncOn(MeterLink& on, const LocalTimeSource& localTime) {
        const bool synced = SyncMeterClock(on, localTime);
        ShowMessage(TimeSyncMessage(synced));
        return synced;
    }

    void OpenOn(const std::string& device, int model) {
        link.port.Ports().Map(kCom, device);
        ASSERT_EQ(port.Open(kCom), 1);
        link.DeviceModel = model;
    }

    // Opens the port of onClock, the link on the scripted line.
    void OpenOnTheScriptedLine(int model) {
        onClock.port.Ports().Map(kCom, "/dev/scripted-meter");
        ASSERT_EQ(onClock.port.Open(kCom), 1);
        onClock.DeviceModel = model;
    }

    std::vector<std::string> Messages() {
        std::lock_guard lock(mutex_);
        return messages_;
    }

    MeterLink link;
    CSerialPort& port = link.port;
    // A link of its own on the scripted line.
    VirtualClock clock;
    ScriptedBackend line{clock};
    MeterLink onClock{line, clock};

  private:
    MessageHandler previous_;
    std::mutex mutex_;
    std::vector<std::string> messages_;
};

TEST(ClockFrame, CarriesTheLocalTimeAsPlainBinaryBytes) {
    struct Case {
        std::tm time;
        const char* hex;
    };
    const Case cases[] = {
        {kNewYearsEve, "3C 53 45 54 44 41 54 45 54 49 4D 45 1A 0C 1F 17 3B 3B 3E 3E"},
        {CalendarTime(2000, 1, 1, 0, 0, 0),
         "3C 53 45 54 44 41 54 45 54 49 4D 45 00 01 01 00 00 00 3E 3E"},
        {CalendarTime(2013, 11, 18, 5, 4, 3),
         "3C 53 45 54 44 41 54 45 54 49 4D 45 0D 0B 12 05 04 03 3E 3E"},
        {CalendarTime(2099, 9, 9, 10, 10, 10),
         "3C 53 45 54 44 41 54 45 54 49 4D 45 63 09 09 0A 0A 0A 3E 3E"},
    };
    for (const Case& c : cases) {
        const Bytes frame = ClockFrame(c.time);
        EXPECT_EQ(frame.size(), kClockFrameLength);
        EXPECT_EQ(HexString(frame), c.hex);
    }
}

// The test plays the meter on the bare pseudo-terminal and stamps each byte as it arrives.
TEST_F(ClockSyncTest, FrameLeavesAtFifteenMsPerByteAndAnAcceptanceSyncs) {
    PtyPair pty;
    std::vector<double> arrivals;
    Bytes received;
    std::atomic<bool> suspendedWhileSending{false};
    Stopwatch clock;
    std::thread meter([&] {
        while (static_cast<int>(received.size()) < kFrameBytes && clock.ElapsedMs() < 5000) {
            Bytes got = pty.Read(1, 50);
            if (got.empty()) continue;
            if (received.empty()) suspendedWhileSending = link.Holder() == PortHolder::Dialog;
            for (uint8_t byte : got) {
                received.push_back(byte);
                arrivals.push_back(clock.ElapsedMs());
            }
        }
        pty.Write(Bytes{kReplyTrailer});
    });
    OpenOn(pty.SlavePath(), kModelZtx430);

    int timeTaken = 0;
    double timeTakenAtMs = 0;
    const bool synced = Sync([&] {
        ++timeTaken;
        timeTakenAtMs = clock.ElapsedMs();
        return kNewYearsEve;
    });
    meter.join();

    EXPECT_TRUE(synced);
    EXPECT_EQ(Messages(), std::vector<std::string>{"Time Synced Successfully!"});
    EXPECT_EQ(received, ClockFrame(kNewYearsEve));
    ASSERT_EQ(arrivals.size(), static_cast<size_t>(kFrameBytes));
    EXPECT_GE(arrivals.back() - arrivals.front(), 19 * 15.0);
    EXPECT_EQ(timeTaken, 1);
    EXPECT_GE(timeTakenAtMs, kPauseMs);  // the time is taken after the pause, once
    EXPECT_TRUE(suspendedWhileSending);
    EXPECT_TRUE(link.PortFree());
}

TEST_F(ClockSyncTest, SyncsTheVirtualMeter) {
    TempDir dir;
    const std::string log = dir.File("frames.log");
    MeterProcess meter({"--log", log});
    ASSERT_FALSE(meter.DevicePath().empty());
    OpenOn(meter.DevicePath(), kModelZtx440);

    EXPECT_TRUE(Sync(NewYearsEve));
    EXPECT_EQ(Messages(), std::vector<std::string>{"Time Synced Successfully!"});
    EXPECT_EQ(ReadLogLines(log), std::vector<std::string>{HexString(ClockFrame(kNewYearsEve))});
    EXPECT_TRUE(link.PortFree());
}

TEST_F(ClockSyncTest, ModelsBelowZtx430FailAfterThePauseWithoutAFrame) {
    line.Play([](const Bytes&, int) { return ScriptedReply{}; });
    OpenOnTheScriptedLine(kModelNone);
    for (int model : {kModelNone, kModelZtx420, kModelZtx420Plus}) {
        onClock.DeviceModel = model;
        Stopwatch watch(clock);
        EXPECT_FALSE(SyncOn(onClock, NewYearsEve)) << model;
        EXPECT_EQ(watch.ElapsedMs(), kPauseMs) << model;
        EXPECT_TRUE(onClock.PortFree()) << model;
    }
    EXPECT_EQ(Messages(), std::vector<std::string>(3, "Time Sync Failed! "));
    // A marker frame sent now comes after anything the syncs might have sent.
    const Bytes frame = BuildFrame("GETVER");
    onClock.port.Send(frame.data(), static_cast<int>(frame.size()));
    EXPECT_EQ(line.Frames(), std::vector<Bytes>{frame});
}

TEST_F(ClockSyncTest, ClosedPortFailsAfterThePauseAndSendsNothing) {
    onClock.port.Ports().Map(kCom, "/dev/scripted-meter");
    onClock.DeviceModel = kModelZtx440;
    Stopwatch watch(clock);
    EXPECT_FALSE(SyncOn(onClock, NewYearsEve));
    EXPECT_EQ(watch.ElapsedMs(), kPauseMs);
    EXPECT_EQ(Messages(), std::vector<std::string>{"Time Sync Failed! "});
    EXPECT_TRUE(line.Written().empty());
    EXPECT_TRUE(onClock.PortFree());
}

TEST_F(ClockSyncTest, LateAcceptanceFailsAndIsPurgedByTheNextSync) {
    line.Play([](const Bytes&, int index) {
        if (index == 0) return ScriptedReply{Bytes{kReplyTrailer}, 700};
        return ScriptedReply{};  // the second sync gets no answer of its own
    });
    OpenOnTheScriptedLine(kModelZtx430);

    EXPECT_FALSE(SyncOn(onClock, NewYearsEve));
    EXPECT_TRUE(onClock.PortFree());
    // The late 0xAA is let arrive and read away; it never counts for the next sync.
    EXPECT_FALSE(SyncOn(onClock, NewYearsEve));
    EXPECT_TRUE(onClock.PortFree());
    EXPECT_EQ(Messages(), std::vector<std::string>(2, "Time Sync Failed! "));
    EXPECT_EQ(line.Frames().size(), 2u);
}

// The answer is read once the whole wait has passed; only its first byte is judged.
TEST_F(ClockSyncTest, OnlyAnAcceptanceAheadOfAnythingElseSyncsAfterTheWholeWait) {
    // The pause, 20 bytes 15 ms apart with a delay behind the last, the whole 500 ms wait, and
    // behind an answer that is no acceptance the 4 ms of quiet line the exchange ends on.
    constexpr double kAccepted = kPauseMs + 20 * 15 + 500;
    constexpr double kRefused = kAccepted + 4;
    struct Case {
        Bytes answer;
        bool synced;
        double takesMs;
    };
    const Case cases[] = {{{0x55, 0xAA}, false, kRefused},
                          {{0xAA, 0x55, 0x55}, true, kAccepted},
                          {{0x00}, false, kRefused}};
    // One frame a sync: the line's frame count is the case's index.
    line.Play([&](const Bytes&, int frame) {
        return frame < static_cast<int>(std::size(cases)) ? ScriptedReply{cases[frame].answer}
                                                          : ScriptedReply{};
    });
    OpenOnTheScriptedLine(kModelTkl);
    for (int index = 0; index < static_cast<int>(std::size(cases)); ++index) {
        Stopwatch watch(clock);
        EXPECT_EQ(SyncOn(onClock, NewYearsEve), cases[index].synced) << index;
        EXPECT_EQ(watch.ElapsedMs(), cases[index].takesMs) << index;
        EXPECT_TRUE(onClock.PortFree());
    }
    EXPECT_EQ(Messages(),
              (std::vector<std::string>{"Time Sync Failed! ", "Time Synced Successfully!",
                                        "Time Sync Failed! "}));
}

}  // namespace
