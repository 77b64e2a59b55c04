// The link against the virtual meter's faults over a real pseudo-terminal: key presses that
// must all arrive, late and spoiled replies the exchanges must step over, and a meter that is
// unplugged and plugged in again.

#include <sys/resource.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "link/command_exchange.h"
#include "link/link_timing.h"
#include "link/meter_identity.h"
#include "link/meter_link.h"
#include "link/port_table.h"
#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_until.h"

namespace {

constexpr int kCom = 23;
const char* const kKeyUpLine = "3C 4B 45 59 32 3E 3E";
const char* const kFieldLine = "3C 47 45 54 45 4D 46 44 41 54 41 3E 3E";

int CountLines(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

// Polls a condition every few milliseconds until it holds or timeoutMs has passed.
double ThreadCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 +
           usage.ru_stime.tv_sec * 1e3 + usage.ru_stime.tv_usec / 1e3;
}

class LinkRecovery : public ::testing::Test {
  protected:
    void Start(std::vector<std::string> args) {
        args.insert(args.end(), {"--log", Log(), "--link", LinkPath()});
        meter_ = std::make_unique<MeterProcess>(std::move(args));
        ASSERT_FALSE(meter_->DevicePath().empty());
        link.port.Ports().Map(kCom, LinkPath());
        link.PortNumber = kCom;
        ASSERT_EQ(port_.Open(kCom), 1) << port_.LastOpenError();
    }
    ExchangeResult Run(const ExchangePolicy& policy, const char* command) {
        reply_.assign(static_cast<size_t>(policy.readMax), 0);
        return RunExchange(port_, policy, BuildFrame(command), reply_.data(), kCom);
    }
    std::string Log() const { return dir_.File("frames.log"); }
    std::string LinkPath() const { return dir_.File("ttyMeter"); }

    TempDir dir_;
    std::unique_ptr<MeterProcess> meter_;
    MeterLink link;
    CSerialPort& port_ = link.port;
    Bytes reply_;
};

// The screen exchanges purge before every request and the port is closed between some of
// them, while key presses go out from another thread: every press the port took reaches the
// meter.
TEST_F(LinkRecovery, EveryKeyPressReachesTheMeterWhileScreenExchangesPurgeAndClose) {
    Start({});
    std::atomic<int> exchanges{0};
    std::atomic<bool> running{true};
    std::thread screen([&] {
        Bytes frame(static_cast<size_t>(kScreenPolicy.readMax));
        while (running) {
            RunExchange(port_, kScreenPolicy, BuildFrame("GETSCREEN"), frame.data(), kCom);
            if (exchanges.fetch_add(1) % 3 == 2) port_.Close();
        }
    });
    const Bytes key = BuildFrame("KEY2");
    for (int press = 0; press < 40; ++press) {
        const int seen = exchanges;
        // A closed port sends nothing, as a press while no port is open would; press again.
        ASSERT_TRUE(WaitUntil([&] { return port_.Send(key.data(), 7) == 7; }, 5000));
        if (press % 2) {
            ASSERT_TRUE(WaitUntil([&] { return exchanges > seen; }, 5000));
        }
    }
    running = false;
    screen.join();
    EXPECT_TRUE(WaitUntil([&] { return CountLines(ReadLogLines(Log()), kKeyUpLine) >= 40; }, 5000));
    EXPECT_EQ(CountLines(ReadLogLines(Log()), kKeyUpLine), 40);
}

// The rest of each late reply is let arrive before the next request, so the exchanges after
// it start in step.
TEST_F(LinkRecovery, TwoLateScreenRepliesThenAFieldReadingIsTakenAtOnce) {
    Start({"--fault", "GETSCREEN:late=150:2"});
    const ExchangeResult screen = Run(kScreenPolicy, "GETSCREEN");
    EXPECT_TRUE(screen.whole);
    EXPECT_EQ(screen.attempts, 3);
    const ExchangeResult field = Run(kFieldPolicy, "GETEMFDATA");
    EXPECT_TRUE(field.whole);
    EXPECT_LE(field.attempts, 2);
    EXPECT_LE(CountLines(ReadLogLines(Log()), kFieldLine), 2);
}

TEST_F(LinkRecovery, ASweepBehindJunkFailsItsAttemptAndTheRepeatIsTaken) {
    Start({"--fast", "--fault", "GETBANDDATAHEX:junk:1"});
    const ExchangeResult sweep = Run(kSpectrumPolicy, "GETBANDDATAHEX");
    EXPECT_TRUE(sweep.whole);
    EXPECT_EQ(sweep.attempts, 2);
}

// Unplugged halfway through a screen frame: the exchange ends at once, the port is closed and
// the link marked lost; exchanges while it is away sleep instead of spinning; once the meter
// is back at its path it is identified again without a word.
TEST_F(LinkRecovery, AnUnpluggedMeterIsNoticedAndFoundAgainWhenItComesBack) {
    Start({"--fast", "--unplug-after", "2", "--replug-after", "1000"});
    ASSERT_TRUE(Run(kIdentifyPolicy, "GETVER").whole);
    link.DeviceConnected = true;

    Stopwatch watch;
    const ExchangeResult cut = Run(kScreenPolicy, "GETSCREEN");
    EXPECT_TRUE(cut.hungUp);
    EXPECT_FALSE(cut.whole);
    EXPECT_LT(watch.ElapsedMs(), 1000.0);
    EXPECT_EQ(port_.IsOpen(), 0);
    EXPECT_TRUE(link.LinkLost);
    EXPECT_FALSE(link.DeviceConnected);

    const double cpuBefore = ThreadCpuMs();
    Stopwatch away;
    while (away.ElapsedMs() < 300.0)
        EXPECT_TRUE(Run(kScreenPolicy, "GETSCREEN").hungUp);
    EXPECT_LT(ThreadCpuMs() - cpuBefore, 0.25 * away.ElapsedMs());  // far below a busy loop
    EXPECT_FALSE(ReidentifyLostMeter(link));                        // not back yet

    EXPECT_TRUE(WaitUntil([&] { return ReidentifyLostMeter(link); }, 10000));
    EXPECT_FALSE(link.LinkLost);
    EXPECT_TRUE(link.DeviceConnected);
    EXPECT_EQ(link.DeviceModel, kModelZtx440);
    EXPECT_EQ(port_.IsOpen(), 1);
    EXPECT_TRUE(Run(kScreenPolicy, "GETSCREEN").whole);
}

}  // namespace
