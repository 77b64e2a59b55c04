// The exchange step against a scripted meter: over a real pseudo-terminal, or behind the scripted
// backend on a virtual clock where what is tried is how long the exchange waits and what it
// asks again.

#include <gtest/gtest.h>

#include <thread>

#include "link/command_exchange.h"
#include "link/link_timing.h"
#include "link/meter_identity.h"
#include "link/meter_link.h"
#include "link/port_table.h"
#include "tests/support/scripted_backend.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/wait_until.h"

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
        link.port.Ports().Map(kCom, pty.SlavePath());
        onClock.Ports().Map(kCom, "/dev/scripted-meter");
    }
    PtyPair pty;
    MeterLink link;
    CSerialPort& port = link.port;
    // The same port number opens this one on the scripted line instead.
    VirtualClock clock;
    ScriptedBackend line{clock};
    CSerialPort onClock{line, clock};
};

TEST_F(ExchangeTest, AWholeReplyIsReadAsSoonAsItIsThere) {
    ScriptedPeer peer(pty, [](const Bytes&, int) { return ScriptedReply{FieldReply(0x11)}; });
    // The field row with a wait far longer than the reply takes, so that reading early shows
    // on a loaded machine too.
    ExchangePolicy longWait = kFieldPolicy;
    longWait.waitMs = 20000;
    Bytes reply(1201);
    Stopwatch watch;
    ExchangeResult r = RunExchange(port, longWait, BuildFrame("GETEMFDATA"), reply.data(), kCom);
    EXPECT_TRUE(r.whole);
    EXPECT_EQ(r.attempts, 1);
    EXPECT_EQ(r.bytesRead, 1201);
    EXPECT_LT(watch.ElapsedMs(), 10000.0);  // not the full wait
    EXPECT_EQ(peer.Frames().at(0), BuildFrame("GETEMFDATA"));
}

TEST_F(ExchangeTest, ShortReplyNeverPassesForWholeWhateverTheBufferHeld) {
    line.Play([](const Bytes&, int) { return ScriptedReply{Bytes(600, 0x22)}; });
    Bytes reply = FieldReply(0x33);  // an older whole reply still in the buffer
    ExchangePolicy quick = kFieldPolicy;
    quick.maxTotalMs = 500;
    ExchangeResult r = RunExchange(onClock, quick, BuildFrame("GETEMFDATA"), reply.data(), kCom);
    EXPECT_FALSE(r.whole);
    EXPECT_GE(r.attempts, 2);
    EXPECT_EQ(reply[1200], 0);
}

// A request that gets no answer is asked again while the row's attempts last; the exchange
// that runs out of them ends out of step, owing the answers to the next one.
TEST_F(ExchangeTest, ARequestNeverAnsweredIsAskedAgainWhileAttemptsLast) {
    line.Play([](const Bytes&, int) { return ScriptedReply{}; });
    Bytes reply(1025);
    ExchangeResult r =
        RunExchange(onClock, kScreenPolicy, BuildFrame("GETSCREEN"), reply.data(), kCom);
    EXPECT_FALSE(r.whole);
    EXPECT_TRUE(r.outOfStep);
    EXPECT_EQ(r.attempts, kScreenPolicy.attempts);
    EXPECT_EQ(line.Frames().size(), static_cast<size_t>(kScreenPolicy.attempts));
}

// The first request is answered after the line was given up on and asked again: that late
// answer comes during the repeat, its own right behind it, and neither is taken.
TEST_F(ExchangeTest, ALateAnswerToAnEarlierRequestIsNeverTakenForTheRepeats) {
    line.Play([](const Bytes&, int index) {
        if (index == 0) return ScriptedReply{FieldReply(0x44), 800};
        return ScriptedReply{FieldReply(0x55), 50};  // the meter's time to answer
    });
    Bytes reply(1201);
    const ExchangeResult r =
        RunExchange(onClock, kFieldPolicy, BuildFrame("GETEMFDATA"), reply.data(), kCom);
    ASSERT_TRUE(r.whole);
    EXPECT_EQ(r.attempts, 3);
    EXPECT_EQ(reply[0], 0x55);
}

TEST_F(ExchangeTest, ALateReplyIsLetArriveAndDiscardedBeforeTheNextRequest) {
    line.Play([](const Bytes&, int index) {
        if (index == 0) return ScriptedReply{FieldReply(0x44), 350};  // after the 300 ms wait
        return ScriptedReply{FieldReply(0x55), 50};
    });
    ExchangePolicy once = kFieldPolicy;
    once.attempts = 1;
    Bytes reply(1201);
    ExchangeResult late = RunExchange(onClock, once, BuildFrame("GETEMFDATA"), reply.data(), kCom);
    EXPECT_FALSE(late.whole);
    EXPECT_FALSE(late.outOfStep);
    ExchangeResult r = RunExchange(onClock, once, BuildFrame("GETEMFDATA"), reply.data(), kCom);
    ASSERT_TRUE(r.whole);
    EXPECT_EQ(reply[0], 0x55);
    EXPECT_EQ(reply[1199], 0x55);
}

// The meter answers after the exchange gave up: the next exchange lets that answer pass before
// it asks, so it reads its own reply, not the one owed to the first request.
TEST_F(ExchangeTest, AReplyOwedToAnEarlierExchangeIsNeverTakenForTheNextOnes) {
    line.Play([](const Bytes&, int index) {
        if (index == 0) return ScriptedReply{FieldReply(0x44), 1200};
        return ScriptedReply{FieldReply(0x55)};
    });
    Bytes reply(1201);
    const Bytes frame = BuildFrame("GETEMFDATA");
    ExchangePolicy once = kFieldPolicy;
    once.attempts = 1;
    ASSERT_TRUE(RunExchange(onClock, once, frame, reply.data(), kCom).outOfStep);
    const ExchangeResult next = RunExchange(onClock, kFieldPolicy, frame, reply.data(), kCom);
    ASSERT_TRUE(next.whole);
    EXPECT_EQ(next.attempts, 1);
    EXPECT_EQ(reply[0], 0x55);
}

TEST_F(ExchangeTest, IdentificationReplyIsTakenOnceTheLineIsQuiet) {
    ScriptedPeer peer(pty, [](const Bytes&, int) {
        return ScriptedReply{Bytes{'Z', 'T', 'X', '4', '4', '0', 'R', ' ', '3', '.', '6'}};
    });
    ASSERT_EQ(port.Open(kCom), 1);
    uint8_t reply[kIdentifyBufferSize];
    ExchangePolicy longWait = kScanPolicy;
    longWait.waitMs = 20000;
    Stopwatch watch;
    ExchangeResult r = RunExchange(port, longWait, BuildFrame("GETVER"), reply, kCom);
    EXPECT_TRUE(r.whole);
    EXPECT_LT(watch.ElapsedMs(), 10000.0);  // not the whole wait
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

TEST_F(ExchangeTest, AnIdentificationWithAControlByteIsSpoiled) {
    ScriptedPeer peer(pty, [](const Bytes&, int) {
        return ScriptedReply{Bytes{'Z', 'T', 'X', '4', '4', '0', 'R', 'e', ' ', '3', '.', '6', 0}};
    });
    uint8_t reply[kIdentifyBufferSize];
    EXPECT_FALSE(RunExchange(port, kIdentifyPolicy, BuildFrame("GETVER"), reply, kCom).whole);
}

TEST_F(ExchangeTest, StopFlagEndsAStoppableWaitWithoutReading) {
    ScriptedPeer peer(pty, [](const Bytes&, int) {
        return ScriptedReply{Bytes(1025, 0xAA), 20000};
    });
    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        // The request has gone out, so the exchange is in its wait.
        WaitUntil([&] { return !peer.Frames().empty(); }, 5000, 1);
        stop = true;
    });
    Bytes reply(1025);
    Stopwatch watch;
    ExchangeResult r =
        RunExchange(port, kScreenPolicy, BuildFrame("GETSCREEN"), reply.data(), kCom, &stop);
    stopper.join();
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.bytesRead, 0);
    EXPECT_LT(watch.ElapsedMs(), 10000.0);  // well before the reply
}

TEST_F(ExchangeTest, AnIncompleteHistoryBlockIsAskedForAgainWithALongerWait) {
    line.Play([](const Bytes&, int index) {
        if (index < 2) return ScriptedReply{Bytes(4094, 0x01)};  // two bytes short
        return ScriptedReply{Bytes(4096, 0x02)};
    });
    Bytes block(4096, 0);
    ASSERT_EQ(onClock.Open(kCom), 1);
    Stopwatch watch(clock);
    ExchangeResult r = RunExchange(onClock, kHistoryPolicy,
                                   BuildFrame("SPIR", {0, 0x30, 0, 0x10, 0}), block.data(), kCom);
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

Bytes Sweep(uint32_t startHz, uint32_t spacingHz) {
    Bytes sweep(269, 0xA0);
    for (int i = 0; i < 4; ++i) {
        sweep[128 + i] = static_cast<uint8_t>(startHz >> (24 - 8 * i));
        sweep[136 + i] = static_cast<uint8_t>(spacingHz >> (24 - 8 * i));
    }
    return sweep;
}

Bytes Joined(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A sweep has no trailer: only its exact length and a band that makes sense tell it whole.
TEST_F(ExchangeTest, ASweepIsWholeOnlyAsExactly269BytesOfARealBand) {
    const Bytes good = Sweep(2'400'000'000u, 400'000);
    struct Case {
        const char* what;
        Bytes sent;
        bool whole;
    };
    const Case cases[] = {
        {"a real band", good, true},
        {"short", Bytes(good.begin(), good.begin() + 268), false},
        {"a byte behind it", Joined(good, {0x00}), false},
        {"junk ahead of it", Joined(Bytes(16, 'x'), good), false},
        {"no spacing", Sweep(2'400'000'000u, 0), false},
        {"the last bin past 4.29 GHz", Sweep(4'000'000'000u, 3'000'000), false},
        {"garbage letters", Bytes(269, 'q'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedPeer peer(pty, [&](const Bytes&, int) { return ScriptedReply{c.sent}; });
        Bytes reply(269, 0);
        ExchangePolicy once = kSpectrumPolicy;
        once.attempts = 1;
        ExchangeResult r =
            RunExchange(port, once, BuildFrame("GETBANDDATAHEX"), reply.data(), kCom);
        EXPECT_EQ(r.whole, c.whole);
    }
}

TEST_F(ExchangeTest, AnUnopenablePortEndsTheExchangeAtOnce) {
    link.port.Ports().Map(kCom, "/dev/ferrolog-missing");
    Bytes reply(1201);
    Stopwatch watch;
    ExchangeResult r =
        RunExchange(port, kFieldPolicy, BuildFrame("GETEMFDATA"), reply.data(), kCom);
    EXPECT_TRUE(r.openFailed);
    EXPECT_LT(watch.ElapsedMs(), 1500.0);  // no attempts for the row's 3 s
}

}  // namespace
