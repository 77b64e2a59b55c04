// The virtual meter as the program meets it: a child process on a pseudo-terminal, reached
// through the program's own serial port and exchange table.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>

#include "link/command_exchange.h"
#include "link/link_timing.h"
#include "link/meter_identity.h"
#include "link/meter_link.h"
#include "link/number_text.h"
#include "link/port_table.h"
#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_until.h"

namespace {

constexpr int kCom = 21;

class MeterLine : public ::testing::Test {
  protected:
    void Start(std::vector<std::string> args) {
        meter_ = std::make_unique<MeterProcess>(std::move(args));
        ASSERT_FALSE(meter_->DevicePath().empty());
        link.port.Ports().Map(kCom, meter_->DevicePath());
        ASSERT_EQ(port_.Open(kCom), 1) << port_.LastOpenError();
    }
    void TearDown() override {
        port_.Close();
        link.port.Ports().Map(kCom, "");
    }
    ExchangeResult Run(const ExchangePolicy& policy, const Bytes& frame, Bytes& reply) {
        reply.assign(static_cast<size_t>(policy.readMax), 0);
        return RunExchange(port_, policy, frame, reply.data(), kCom);
    }

    std::unique_ptr<MeterProcess> meter_;
    MeterLink link;
    CSerialPort& port_ = link.port;
};

TEST_F(MeterLine, AnswersIdentificationAsTheProgramClassifiesIt) {
    Start({"--model", "ZTX430"});
    Bytes reply;
    ASSERT_TRUE(Run(kScanPolicy, BuildFrame("GETVER"), reply).whole);
    reply.resize(kIdentifyBufferSize, 0);
    EXPECT_EQ(ClassifyReply(reply.data(), kIdentifyReplyLength, ClassifyOrder::Identify),
              kModelZtx430);
    EXPECT_FLOAT_EQ(ParseFirmwareRevision(reply.data()), 3.10f);
}

// Real pacing: every reply is whole within the waits and attempts its exchange allows. (A meter
// starved of the processor may miss a single wait, as a real one that is busy would.)
TEST_F(MeterLine, EveryReplyArrivesWithinItsExchangeWait) {
    Start({});
    struct Case {
        const ExchangePolicy& policy;
        Bytes frame;
    };
    const Case cases[] = {
        {kScreenPolicy, BuildFrame("GETSCREEN")},
        {kFieldPolicy, BuildFrame("GETEMFDATA")},
        {kClockPolicy, BuildFrame("SETDATETIME", {26, 12, 31, 23, 59, 59})},
        {kShotInfoPolicy, BuildFrame("GETSSN1")},
        {kShotPixelsPolicy, BuildFrame("GETSS2")},
        {kHistoryPolicy, BuildFrame("SPIR", {0x00, 0x30, 0x00, 0x10, 0x00})},
    };
    for (const Case& c : cases) {
        Bytes reply;
        ExchangeResult result = Run(c.policy, c.frame, reply);
        EXPECT_TRUE(result.whole) << c.policy.what;
        EXPECT_EQ(result.bytesRead, c.policy.readMax) << c.policy.what;
    }
    Bytes sweep;
    EXPECT_EQ(Run(kSpectrumPolicy, BuildFrame("GETBANDDATAHEX"), sweep).bytesRead, 269);
}

TEST_F(MeterLine, LongReplyTakesAsLongAsOnARealLine) {
    Start({});
    Bytes reply;
    Stopwatch watch;
    ASSERT_TRUE(Run(kHistoryPolicy, BuildFrame("SPIR", {0, 0, 0, 0x10, 0}), reply).whole);
    EXPECT_GE(watch.ElapsedMs(), 355.0);  // 4096 bytes of ten bits at 115200 baud
}

TEST_F(MeterLine, FrameLogHoldsEachFrameInHex) {
    TempDir dir;
    Start({"--fast", "--log", dir.File("frames.log")});
    port_.Send(BuildFrame("KEY1").data(), 7);  // the next exchange's purge lets it leave
    Bytes reply;
    ASSERT_TRUE(Run(kScanPolicy, BuildFrame("GETVER"), reply).whole);
    EXPECT_EQ(ReadLogLines(dir.File("frames.log")),
              (std::vector<std::string>{"3C 4B 45 59 31 3E 3E", "3C 47 45 54 56 45 52 3E 3E"}));
}

TEST_F(MeterLine, DamagedFieldBlockIsAskedForAgain) {
    Start({"--fast", "--fault", "GETEMFDATA:corrupt:1"});
    Bytes reply;
    ExchangeResult result = Run(kFieldPolicy, BuildFrame("GETEMFDATA"), reply);
    EXPECT_TRUE(result.whole);
    EXPECT_EQ(result.attempts, 2);
}

// The exchange that gave up on it lets the late reply arrive and discards it.
TEST_F(MeterLine, LateClockReplyMissesItsWaitAndIsNeverTakenLater) {
    Start({"--fast", "--fault", "SETDATETIME:late=700"});
    Bytes reply;
    const ExchangeResult late =
        Run(kClockPolicy, BuildFrame("SETDATETIME", {26, 1, 2, 3, 4, 5}), reply);
    EXPECT_FALSE(late.whole);
    EXPECT_FALSE(late.outOfStep);
    EXPECT_TRUE(Run(kShotInfoPolicy, BuildFrame("GETSSN4"), reply).whole);
    EXPECT_EQ(reply, (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xAA}));
}

TEST_F(MeterLine, AnswersAgainAfterThePortIsReopened) {
    Start({"--fast"});
    Bytes reply;
    for (int round = 0; round < 3; ++round) {
        port_.Close();
        ASSERT_EQ(port_.Open(kCom), 1) << round;
        EXPECT_TRUE(Run(kScanPolicy, BuildFrame("GETVER"), reply).whole) << round;
    }
}

TEST_F(MeterLine, StopsWhenTerminated) {
    Start({"--fast"});
    EXPECT_TRUE(meter_->Running());
    meter_->Stop();
    EXPECT_FALSE(meter_->Running());
}

// The clock frame goes out a byte every 15 ms; the meter sees it take as long.
TEST_F(MeterLine, TimesLogShowsTheFramesPacing) {
    TempDir dir;
    Start({"--fast", "--log", dir.File("frames.log"), "--log-times"});
    Bytes reply;
    ASSERT_TRUE(
        Run(kClockPolicy, BuildFrame("SETDATETIME", {26, 12, 31, 23, 59, 59}), reply).whole);
    const std::vector<std::string> times = ReadLogLines(dir.File("frames.log") + ".times");
    ASSERT_EQ(times.size(), 1u);
    EXPECT_GE(ParseWholeNumber<int>(times[0]).value_or(-1), 19 * 15 - 5);  // 19 gaps of 15 ms
}

// A plain terminal, as any program would open the device.
int OpenRaw(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

// Reads until the line hangs up or goes quiet for a second; returns the bytes read.
Bytes ReadUntilHangUp(int fd, bool* hungUp) {
    Bytes got;
    *hungUp = false;
    for (;;) {
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, 1000) <= 0) return got;
        uint8_t buffer[2048];
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            got.insert(got.end(), buffer, buffer + n);
            continue;
        }
        if (n < 0 && errno == EAGAIN) continue;
        *hungUp = (pfd.revents & POLLHUP) || n == 0 || errno == EIO;
        return got;
    }
}

TEST(MeterUnplug, PulledCableHangsUpHalfwayThroughTheReply) {
    MeterProcess meter({"--fast", "--unplug-after", "2"});
    ASSERT_FALSE(meter.DevicePath().empty());
    int fd = OpenRaw(meter.DevicePath());
    ASSERT_GE(fd, 0);
    const std::string ver = "<GETVER>>";
    ASSERT_EQ(write(fd, ver.data(), ver.size()), static_cast<ssize_t>(ver.size()));
    pollfd pfd{fd, POLLIN, 0};
    ASSERT_EQ(poll(&pfd, 1, 5000), 1);
    uint8_t text[32];
    EXPECT_EQ(read(fd, text, sizeof text), 13);  // "ZTX440Re 3.62", written in one go
    const std::string screen = "<GETSCREEN>>";
    ASSERT_EQ(write(fd, screen.data(), screen.size()), static_cast<ssize_t>(screen.size()));
    bool hungUp = false;
    EXPECT_EQ(ReadUntilHangUp(fd, &hungUp).size(), 512u);  // half of 1025
    EXPECT_TRUE(hungUp);
    close(fd);
    EXPECT_TRUE(WaitUntil([&] { return !meter.Running(); }, 1000, 10));
}

}  // namespace

namespace {

TEST(MeterCommandLine, HelpAndVersionGoToStdoutAndUnknownOptionsExitWith2) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* out;  // expected start of stdout
        bool errEmpty;
    };
    const Case cases[] = {
        {{"--help"}, 0, "usage: ferrolog-meter", true}, {{"-h"}, 0, "usage: ferrolog-meter", true},
        {{"--version"}, 0, "ferrolog-meter 3.", true},  {{"--bogus"}, 2, "", false},
        {{"--replug-after", "soon"}, 2, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        const ProgramResult result = RunProgram(FERROLOG_METER_PATH, c.args, 10000);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.out.rfind(c.out, 0), 0u) << result.out;
        EXPECT_EQ(result.err.empty(), c.errEmpty) << result.err;
    }
    EXPECT_EQ(RunProgram(FERROLOG_METER_PATH, {"--bogus"}).err,
              "ferrolog-meter: unknown option '--bogus' (see --help)\n");
}

}  // namespace
