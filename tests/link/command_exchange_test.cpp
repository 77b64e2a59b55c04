// The exchange step over a real pseudo-terminal against a scripted meter.

#include <gtest/gtest.h>

#include <thread>

#include "link/command_exchange.h"
#include "link/link_timing.h"
#include "link/meter_identity.h"
#include "link/port_table.h"
#include "tests/support/scripted_peer.h"

namespace {

constexpr int kCom = 5;

Bytes FieldReply(uint8_t fill) {
    Bytes reply(1201, fill);
    reply[1200] = kReplyTrailer;
    return reply;
}

class ExchangeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PortTable::Instance().Clear();
        PortTable::Instance().Map(kCom, pty.SlavePath());
    }
    void TearDown() override {
        port.Close();
        PortTable::Instance().Clear();
    }
    PtyPair pty;
    CSerialPort port;
};

TEST_F(ExchangeTest, AWholeReplyIsReadAsSoonAsItIsThere) {
    ScriptedPeer peer(pty, [](const Bytes&, int) { return ScriptedReply{FieldReply(0x11)}; });
    Bytes reply(1201);
    Stopwatch watch;
    ExchangeResult r =
        RunExchange(port, kFieldPolicy, BuildFrame("GETEMFDATA"), reply.data(), kCom);
    EXPECT_TRUE(r.whole);
    EXPECT_EQ(r.attempts, 1);
    EXPECT_EQ(r.bytesRead, 1201);
    EXPECT_LT(watch.ElapsedMs(), 250.0);  // not the full 300 ms wait
    EXPECT_EQ(peer.Frames().at(0), BuildFrame("GETEMFDATA"));
}

TEST_F(ExchangeTest, ShortReplyNeverPassesForWholeWhateverTheBufferHeld) {
    ScriptedPeer peer(pty, [](const Bytes&, int) { return ScriptedReply{Bytes(600, 0x22)}; });
    Bytes reply = FieldReply(0x33);  // an older whole reply still in the buffer
    ExchangePolicy quick = kFieldPolicy;
    quick.maxTotalMs = 500;
    ExchangeResult r = RunExchange(port, quick, BuildFrame("GETEMFDATA"), reply.data(), kCom);
    EXPECT_FALSE(r.whole);
    EXPECT_GE(r.attempts, 2);
    EXPECT_EQ(reply[1200], 0);
}

TEST_F(ExchangeTest, RepeatsAreBoundedInTime) {
    ScriptedPeer peer(pty, [](const Bytes&, int) { return ScriptedReply{}; });
    Bytes reply(1201);
    Stopwatch watch;
    ExchangeResult r =
        RunExchange(port, kFieldPolicy, BuildFrame("GETEMFDATA"), reply.data(), kCom);
    EXPECT_FALSE(r.whole);
    EXPECT_GE(watch.ElapsedMs(), 2900.0);
    EXPECT_LT(watch.ElapsedMs(), 3700.0);
    EXPECT_EQ(static_cast<int>(peer.Frames().size()), r.attempts);
}

TEST_F(ExchangeTest, ALateReplyIsPurgedByTheNextExchange) {
    ScriptedPeer peer(pty, [](const Bytes&, int index) {
        if (index == 0) return ScriptedReply{FieldReply(0x44), 400};  // after the 300 ms wait
        return ScriptedReply{FieldReply(0x55), 50};
    });
    ExchangePolicy once = kFieldPolicy;
    once.attempts = 1;
    Bytes reply(1201);
    EXPECT_FALSE(RunExchange(port, once, BuildFrame("GETEMFDATA"), reply.data(), kCom).whole);
    SleepMs(250);  // the late reply is in the driver now
    ExchangeResult r = RunExchange(port, once, BuildFrame("GETEMFDATA"), reply.data(), kCom);
    ASSERT_TRUE(r.whole);
    EXPECT_EQ(reply[0], 0x55);
    EXPECT_EQ(reply[1199], 0x55);
}

TEST_F(ExchangeTest, IdentificationReplyIsTakenOnceTheLineIsQuiet) {
    ScriptedPeer peer(pty, [](const Bytes&, int) {
        return ScriptedReply{Bytes{'Z', 'T', 'X', '4', '4', '0', 'R', ' ', '3', '.', '6'}};
    });
    ASSERT_EQ(port.Open(kCom), 1);
    uint8_t reply[kIdentifyBufferSize];
    Stopwatch watch;
    ExchangeResult r = RunExchange(port, kScanPolicy, BuildFrame("GETVER"), reply, kCom);
    EXPECT_TRUE(r.whole);
    EXPECT_LT(watch.ElapsedMs(), 200.0);  // not the 1000 ms of the scan's wait
    EXPECT_EQ(std::string(reinterpret_cast<char*>(reply), 11), "ZTX440R 3.6");
}

TEST_F(ExchangeTest, ASilentPortCostsTheFullWaitOfEveryAttempt) {
    ScriptedPeer peer(pty, [](const Bytes&, int) { return ScriptedReply{}; });
    uint8_t reply[kIdentifyBufferSize];
    Stopwatch watch;
    ExchangeResult r = RunExchange(port, kIdentifyPolicy, BuildFrame("GETVER"), reply, kCom);
    EXPECT_FALSE(r.whole);
    EXPECT_GE(watch.ElapsedMs(), 100.0);
    EXPECT_TRUE(port.IsOpen());
}

TEST_F(ExchangeTest, GarbageIsNeverTakenForAModel) {
    ScriptedPeer peer(pty, [](const Bytes&, int) { return ScriptedReply{Bytes(20, 0xE5)}; });
    uint8_t reply[kIdentifyBufferSize];
    ExchangeResult r = RunExchange(port, kIdentifyPolicy, BuildFrame("GETVER"), reply, kCom);
    EXPECT_FALSE(r.whole);
    EXPECT_EQ(r.bytesRead, 20);
}

TEST_F(ExchangeTest, StopFlagEndsAStoppableWaitWithoutReading) {
    ScriptedPeer peer(pty, [](const Bytes&, int) { return ScriptedReply{Bytes(1025, 0xAA), 60}; });
    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        SleepMs(20);
        stop = true;
    });
    Bytes reply(1025);
    Stopwatch watch;
    ExchangeResult r =
        RunExchange(port, kScreenPolicy, BuildFrame("GETSCREEN"), reply.data(), kCom, &stop);
    stopper.join();
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.bytesRead, 0);
    EXPECT_LT(watch.ElapsedMs(), 50.0);
}

TEST_F(ExchangeTest, AnIncompleteHistoryBlockIsAskedForAgainWithALongerWait) {
    ScriptedPeer peer(pty, [](const Bytes&, int index) {
        if (index < 2) return ScriptedReply{Bytes(4094, 0x01)};  // two bytes short
        return ScriptedReply{Bytes(4096, 0x02)};
    });
    Bytes block(4096, 0);
    ASSERT_EQ(port.Open(kCom), 1);
    Stopwatch watch;
    ExchangeResult r = RunExchange(port, kHistoryPolicy, BuildFrame("SPIR", {0, 0x30, 0, 0x10, 0}),
                                   block.data(), kCom);
    EXPECT_TRUE(r.whole);
    EXPECT_EQ(r.attempts, 3);
    EXPECT_GE(watch.ElapsedMs(), 450.0 + 500 + 500 + 500);  // two full waits and two pauses
    EXPECT_EQ(block[4095], 0x02);
}

TEST_F(ExchangeTest, ABlockEndingInTwoFillMarksCountsAsIncomplete) {
    Bytes marks(4096, 0x07);
    marks[4094] = marks[4095] = kFillMark;
    Bytes block(4096, 0);
    EXPECT_FALSE(IsWholeReply(kHistoryPolicy, marks.data(), 4096));
    marks[4095] = 0x00;
    EXPECT_TRUE(IsWholeReply(kHistoryPolicy, marks.data(), 4096));
}

TEST_F(ExchangeTest, ASpectrumReplyIsTakenAsItComesAndLeavesOlderBytesBehindIt) {
    ScriptedPeer peer(pty, [](const Bytes&, int) { return ScriptedReply{Bytes(100, 0x66)}; });
    Bytes reply(269, 0x77);
    ExchangeResult r =
        RunExchange(port, kSpectrumPolicy, BuildFrame("GETBANDDATAHEX"), reply.data(), kCom);
    EXPECT_TRUE(r.whole);
    EXPECT_EQ(r.bytesRead, 100);
    EXPECT_EQ(reply[99], 0x66);
    EXPECT_EQ(reply[100], 0x77);
}

TEST_F(ExchangeTest, AnUnopenablePortEndsTheExchangeAtOnce) {
    PortTable::Instance().Map(kCom, "/dev/ferrolog-missing");
    Bytes reply(1201);
    Stopwatch watch;
    ExchangeResult r =
        RunExchange(port, kFieldPolicy, BuildFrame("GETEMFDATA"), reply.data(), kCom);
    EXPECT_TRUE(r.openFailed);
    EXPECT_LT(watch.ElapsedMs(), 100.0);
}

}  // namespace
