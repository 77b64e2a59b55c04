// CSerialPort over a real pseudo-terminal, the test playing the meter on the master side; the
// receiver's rule behind the scripted backend, where its times are exact.

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "link/line_receiver.h"
#include "link/link_timing.h"
#include "link/message_seam.h"
#include "link/meter_identity.h"
#include "link/meter_link.h"
#include "link/port_table.h"
#include "link/serial_port.h"
#include "tests/support/pty_pair.h"
#include "tests/support/scripted_backend.h"

namespace {

constexpr int kCom = 7;

class SerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(pty.SlavePath().empty());
        link.port.Ports().Map(kCom, pty.SlavePath());
        previous = SetMessageHandler([this](const std::string& text) { messages.push_back(text); });
    }
    void TearDown() override {
        port.Close();
        SetMessageHandler(previous);
    }

    PtyPair pty;
    MeterLink link;
    CSerialPort& port = link.port;
    std::vector<std::string> messages;
    MessageHandler previous;
};

Bytes Sequence(int n) {
    Bytes bytes(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 7);
    return bytes;
}

TEST_F(SerialPortTest, OpenWhileOpenKeepsThePortThatIsOpen) {
    ASSERT_EQ(port.Open(kCom), 1);
    EXPECT_EQ(port.Open(kCom + 1), 1);
    EXPECT_EQ(port.OpenPortNumber(), kCom);
}

TEST_F(SerialPortTest, UnmappedOrMissingDeviceFailsAndStaysClosed) {
    EXPECT_EQ(port.Open(kCom + 1), 0);
    link.port.Ports().Map(kCom + 2, "/dev/ferrolog-no-such-device");
    EXPECT_EQ(port.Open(kCom + 2), 0);
    EXPECT_EQ(port.IsOpen(), 0);
    EXPECT_NE(port.LastOpenError().find("No such file"), std::string::npos);
}

TEST_F(SerialPortTest, SecondOpenerIsRefusedWhileTheFirstHoldsThePort) {
    ASSERT_EQ(port.Open(kCom), 1);
    CSerialPort other;
    other.Ports().Map(kCom, pty.SlavePath());
    EXPECT_EQ(other.Open(kCom), 0);
    port.Close();
    EXPECT_EQ(other.Open(kCom), 1);
}

// Another process holds the port's advisory lock: the open is refused as busy and the line's
// settings (here 9600 baud, not raw) are left as that process set them.
TEST_F(SerialPortTest, APortLockedElsewhereIsBusyAndKeepsItsSettings) {
    const int other = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0);
    termios before{};
    ASSERT_EQ(tcgetattr(other, &before), 0);
    cfsetispeed(&before, B9600);
    cfsetospeed(&before, B9600);
    before.c_lflag |= ICANON | ECHO;
    ASSERT_EQ(tcsetattr(other, TCSANOW, &before), 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);

    EXPECT_EQ(port.Open(kCom), 0);
    EXPECT_EQ(port.LastOpenErrno(), EBUSY);
    termios after{};
    ASSERT_EQ(tcgetattr(other, &after), 0);
    EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B9600));
    EXPECT_TRUE(after.c_lflag & ICANON);
    close(other);
}

TEST_F(SerialPortTest, SendRefusesMoreThan32BytesBeforeAnyOtherTest) {
    Bytes frame = Sequence(33);
    EXPECT_EQ(port.Send(frame.data(), 33), kSendTooLong);  // closed: the length test comes first
    ASSERT_EQ(port.Open(kCom), 1);
    EXPECT_EQ(port.Send(frame.data(), 33), kSendTooLong);
    EXPECT_TRUE(messages.empty());  // the caller says why
    EXPECT_TRUE(pty.Read(1, 100).empty());
}

TEST_F(SerialPortTest, SendOf32BytesGoesOutWhole) {
    ASSERT_EQ(port.Open(kCom), 1);
    Bytes frame = Sequence(32);
    EXPECT_EQ(port.Send(frame.data(), 32), 32);
    EXPECT_EQ(pty.Read(32, 1000), frame);
    EXPECT_TRUE(messages.empty());
}

TEST_F(SerialPortTest, SendOfNothingOrOnAClosedPortWritesNothing) {
    Bytes frame = Sequence(4);
    EXPECT_EQ(port.Send(frame.data(), 4), 0);
    ASSERT_EQ(port.Open(kCom), 1);
    EXPECT_EQ(port.Send(frame.data(), 0), 0);
    EXPECT_TRUE(pty.Read(1, 100).empty());
}

TEST_F(SerialPortTest, PerByteDelayFollowsEveryByteIncludingTheLast) {
    ASSERT_EQ(port.Open(kCom), 1);
    Bytes frame = Sequence(5);
    Stopwatch watch;
    EXPECT_EQ(port.Send(frame.data(), 5, 20), 5);
    EXPECT_GE(watch.ElapsedMs(), 100.0);
    EXPECT_EQ(pty.Read(5, 500), frame);
}

TEST_F(SerialPortTest, ReadNeverWaitsAndLeavesWhatItWasNotAskedFor) {
    ASSERT_EQ(port.Open(kCom), 1);
    uint8_t buffer[64] = {};
    Stopwatch watch;
    EXPECT_EQ(port.Read(buffer, 64), 0);
    EXPECT_LT(watch.ElapsedMs(), 500.0);

    pty.Write(Sequence(40));
    ASSERT_TRUE(port.WaitForInput(1000));
    EXPECT_EQ(port.Read(buffer, 30), 30);
    EXPECT_EQ(buffer[29], static_cast<uint8_t>(29 * 7));
    EXPECT_EQ(port.Read(buffer, 64), 10);
    EXPECT_EQ(buffer[0], static_cast<uint8_t>(30 * 7));
}

TEST_F(SerialPortTest, ReadLeavesBytesBeyondTheCountUntouched) {
    ASSERT_EQ(port.Open(kCom), 1);
    uint8_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), 0x5C);
    pty.Write(Bytes{1, 2, 3});
    ASSERT_TRUE(port.WaitForInput(1000));
    EXPECT_EQ(port.Read(buffer, 8), 3);
    EXPECT_EQ(buffer[3], 0x5C);
    EXPECT_EQ(buffer[7], 0x5C);
}

// A tty hands over at most 4095 bytes a read; the port reads on past that chunk. (The pty
// may still be pushing the block across, so the reads are repeated until it is all there.)
TEST_F(SerialPortTest, AHistoryBlockOf4096BytesArrivesWhole) {
    ASSERT_EQ(port.Open(kCom), 1);
    Bytes block = Sequence(4096);
    pty.Write(block);
    Bytes got(4096);
    int count = 0;
    for (int64_t deadline = NowMs() + 5000; count < 4096 && NowMs() < deadline;)
        if (port.WaitForInput(100)) count += port.Read(got.data() + count, 4096 - count);
    ASSERT_EQ(count, 4096);
    EXPECT_EQ(got, block);
}

TEST_F(SerialPortTest, OpenDiscardsWhatTheMeterSentBeforehand) {
    pty.Write(Sequence(100));
    // The bytes wait in the device's input queue, whoever looks at it.
    const int look = open(pty.SlavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    pollfd pfd{look, POLLIN, 0};
    ASSERT_EQ(poll(&pfd, 1, 5000), 1);
    close(look);
    ASSERT_EQ(port.Open(kCom), 1);
    uint8_t buffer[128];
    EXPECT_EQ(port.Read(buffer, 128), 0);
}

TEST_F(SerialPortTest, PurgeDrainsAtMost60Bytes) {
    ASSERT_EQ(port.Open(kCom), 1);
    pty.Write(Sequence(100));
    ASSERT_TRUE(port.WaitForInput(1000));
    EXPECT_EQ(port.Purge(), 60);
    uint8_t buffer[128];
    EXPECT_EQ(port.Read(buffer, 128), 0);  // the other 40 were discarded
}

TEST_F(SerialPortTest, PurgeAndCloseNeverDiscardWhatWasWritten) {
    ASSERT_EQ(port.Open(kCom), 1);
    const Bytes key = BuildFrame("KEY2");
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(port.Send(key.data(), static_cast<int>(key.size())), 7);
        port.Purge();
    }
    port.Close();
    EXPECT_EQ(pty.Read(20 * 7, 2000).size(), 20u * 7);
}

TEST_F(SerialPortTest, CloseIsIdempotent) {
    EXPECT_EQ(port.Close(), 1);
    ASSERT_EQ(port.Open(kCom), 1);
    EXPECT_EQ(port.Close(), 1);
    EXPECT_EQ(port.Close(), 1);
    EXPECT_EQ(port.IsOpen(), 0);
}

TEST_F(SerialPortTest, AVanishedDeviceClosesThePortAndMarksTheLinkLost) {
    ASSERT_EQ(port.Open(kCom), 1);
    link.DeviceConnected = true;
    link.LinkLost = false;
    pty.Unplug();
    uint8_t buffer[16];
    EXPECT_EQ(port.Read(buffer, 16), 0);
    EXPECT_EQ(port.IsOpen(), 0);
    EXPECT_TRUE(port.HungUp());
    EXPECT_TRUE(link.LinkLost);
    EXPECT_FALSE(link.DeviceConnected);
    EXPECT_EQ(port.LostDevicePath(), pty.SlavePath());
    Bytes frame = Sequence(9);
    EXPECT_EQ(port.Send(frame.data(), 9), 0);
    Stopwatch wait;
    EXPECT_FALSE(port.WaitForInput(50));
    EXPECT_GE(wait.ElapsedMs(), 45.0);  // slept, did not return at once to be called again
    EXPECT_EQ(port.Close(), 1);
    link.LinkLost = false;
}

TEST_F(SerialPortTest, TwoSendersNeverInterleaveTheirFrames) {
    ASSERT_EQ(port.Open(kCom), 1);
    constexpr int kFrames = 60;
    auto sender = [this](uint8_t fill) {
        Bytes frame(16, fill);
        for (int i = 0; i < kFrames; ++i)
            port.Send(frame.data(), 16);
    };
    std::thread a(sender, 0xA1), b(sender, 0xB2);
    Bytes got = pty.Read(2 * kFrames * 16, 5000);
    a.join();
    b.join();
    ASSERT_EQ(got.size(), 2u * kFrames * 16);
    for (size_t f = 0; f < got.size(); f += 16)
        for (size_t i = 1; i < 16; ++i)
            ASSERT_EQ(got[f + i], got[f]) << "frame at " << f;
}

// The one receiver loop ends on the quiet after a reply, at the end of its wait, or when its
// running flag is lowered, and hands on every byte that came.
// Looks every pollMs: the reply is read at the first look, and the line is found quiet at the
// first look more than 100 ms after it.
TEST_F(SerialPortTest, ReceiveUntilQuietEndsOnItsRule) {
    struct Case {
        ReceivePace pace;
        bool running;
        Bytes sent;
        double takesMs;
    };
    const Case cases[] = {
        {{5, 100, 20000, true}, true, {1, 2, 3}, 105},  // quiet after the reply
        {{5, 100, 300, true}, true, {}, 300},           // nothing within the wait
        {{20, 0, 0, false}, false, {4}, 0},             // lowered before the first look
    };
    VirtualClock clock;
    ScriptedBackend line(clock);
    CSerialPort onClock(line, clock);
    onClock.Ports().Map(kCom, "/dev/scripted-meter");
    ASSERT_EQ(onClock.Open(kCom), 1);
    for (const Case& c : cases) {
        line.Arrive(c.sent, clock.NowMs());
        const std::atomic<bool> running{c.running};
        Bytes got;
        Stopwatch watch(clock);
        ReceiveUntilQuiet(onClock, c.pace, &running, [&](const uint8_t* bytes, int count) {
            if (count > 0) got.insert(got.end(), bytes, bytes + count);
        });
        EXPECT_EQ(watch.ElapsedMs(), c.takesMs);
        EXPECT_EQ(got, c.running ? c.sent : Bytes{});
        onClock.Purge();
    }
}

}  // namespace
