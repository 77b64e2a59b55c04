#pragma once
// One exchange with the meter, paced by a row of the policy table below. Every caller that
// expects a reply runs its rows through RunExchange; only the spectrum loop and the callers'
// own bookkeeping (which port, which messages) stay with the callers.

#include <atomic>
#include <cstdint>

#include "link/command_frame.h"
#include "link/serial_port.h"

// What is done to the port before each attempt.
enum PortPrep : unsigned {
    kPrepNothing = 0,
    kPrepClose = 1u << 0,  // close first: the exchange wants a fresh port
    kPrepOpen = 1u << 1,   // open (a no-op when open; the open itself purges)
    kPrepPurge = 1u << 2,  // purge again
    kPrepDrain = 1u << 3,  // read away whatever the port still holds
};

// How the reply buffer is made ready so that a short reply fails the whole-reply test.
enum class BufferPrep { Keep, Zero, FillMarks };

// When a reply counts as whole. Every test but ModelToken also needs exactly readMax bytes,
// and every one but AcceptanceAfterWait nothing more behind them, so that the reply is well
// formed at its frame boundaries (bytes ahead of a reply push its end past readMax, so they
// fail this too).
enum class WholeTest {
    ModelToken,       // a model token is in the first 20 bytes (no trailer: the reply is text)
    TrailerAt,        // byte trailerOffset is 0xAA
    LastTwoNotMarks,  // the last two bytes of the block are no longer both 0xBB
    SpectrumLayout,   // all 269 bytes, and their frequencies describe a real band
    // Byte trailerOffset is 0xAA, read once the whole wait has passed; what the meter sends
    // behind an acceptance is no part of it and is read away, not judged.
    AcceptanceAfterWait,
};

// The sweep's reply layout: three big-endian frequencies in Hz behind the 128 levels.
inline constexpr int kSpectrumStartHzAt = 128;
inline constexpr int kSpectrumBandwidthHzAt = 132;
inline constexpr int kSpectrumSpacingHzAt = 136;
inline constexpr int kSpectrumLastBin = 127;

// True when a 269-byte sweep reply could have come from a meter: a spacing above zero and the
// last bin's frequency above the start without leaving the 32-bit range.
bool SpectrumLayoutPlausible(const uint8_t* reply);

inline constexpr uint8_t kFillMark = 0xBB;

struct ExchangePolicy {
    const char* what;
    unsigned prepare;  // PortPrep bits, each attempt
    int byteDelayMs;   // per-byte delay of the send
    int waitMs;        // wait before reading (upper bound: reading starts once whole)
    bool stoppable;    // the wait is 1 ms steps that test the stop flag before each sleep
    int readMax;       // bytes asked for
    BufferPrep buffer;
    WholeTest whole;
    int trailerOffset;       // for TrailerAt
    int attempts;            // 0: until whole, bounded by maxTotalMs (sweeps: of a whole fetch)
    int waitGrowthMs;        // added to the wait on each repeat
    int pauseBetweenMs;      // pause before a repeat
    int waitCapMs;           // no repeat once the wait has reached this (0: no cap)
    int maxTotalMs;          // bound for attempts == 0
    bool closeBeforeRepeat;  // close the port before a repeat
};

// The exchange table. Waits are the longest a reply may take; a whole reply is read at once.
// clang-format off
//                                          what                   prepare                              delay wait  stop  read  buffer               whole                            trailer att  grow pause cap  total close
inline constexpr ExchangePolicy kIdentifyPolicy   {"GETVER on port choice", kPrepClose | kPrepOpen | kPrepPurge, 0,  100, false,   20, BufferPrep::Zero,      WholeTest::ModelToken,          0,     1,   0,   0,    0,   0,    false};
inline constexpr ExchangePolicy kScanPolicy       {"GETVER in the scan",    kPrepNothing,                        0, 1000, true,    20, BufferPrep::Zero,      WholeTest::ModelToken,          0,     5,   0,   0,    0,   0,    false};
inline constexpr ExchangePolicy kScreenPolicy     {"GETSCREEN",             kPrepOpen | kPrepPurge,              0,  100, true,  1025, BufferPrep::Zero,      WholeTest::TrailerAt,        1024,     5,   0,   0,    0,   0,    false};
inline constexpr ExchangePolicy kFieldPolicy      {"GETEMFDATA",            kPrepOpen | kPrepPurge,              0,  300, true,  1201, BufferPrep::Zero,      WholeTest::TrailerAt,        1200,     0,   0,   0,    0, 3000,   true};
inline constexpr ExchangePolicy kSpectrumPolicy   {"GETBANDDATAHEX",        kPrepClose | kPrepOpen | kPrepPurge, 0,  150, true,   269, BufferPrep::Keep,      WholeTest::SpectrumLayout,      0,    11,   0,   0,    0,   0,    false};
inline constexpr ExchangePolicy kClockPolicy      {"SETDATETIME",           kPrepPurge,                         15,  500, false,    1, BufferPrep::Zero,      WholeTest::AcceptanceAfterWait, 0,     1,   0,   0,    0,   0,    false};
inline constexpr ExchangePolicy kShotInfoPolicy   {"GETSSN",                kPrepPurge,                          0,  500, false,    7, BufferPrep::Zero,      WholeTest::TrailerAt,           6,     6,   0,   0,    0,   0,    false};
inline constexpr ExchangePolicy kShotPixelsPolicy {"GETSS",                 kPrepPurge,                          0,  500, false, 1025, BufferPrep::Zero,      WholeTest::TrailerAt,        1024,     6,   0,   0,    0,   0,    false};
inline constexpr ExchangePolicy kHistoryPolicy    {"SPIR",                  kPrepPurge | kPrepDrain,             0,  450, true,  4096, BufferPrep::FillMarks, WholeTest::LastTwoNotMarks,     0,    10,  50, 500,  900,   0,    false};
// clang-format on

struct ExchangeResult {
    bool whole = false;              // the last attempt passed the whole-reply test
    bool stopped = false;            // the stop flag ended it
    bool endedAfterAttempt = false;  // the end-after-attempt flag ended it
    bool openFailed = false;         // the port could not be opened
    bool hungUp = false;             // the device went away: the port is closed and LinkLost set
    bool outOfStep = false;  // replies given up on did not settle, or the last request got none
    int bytesRead = 0;       // bytes of the last attempt
    int attempts = 0;        // attempts made
};

// Runs the exchange: for each attempt prepares the port and the reply buffer, sends the
// frame, waits and reads, and applies the whole-reply test. reply must hold policy.readMax
// bytes. portNumber is the COM number opened by kPrepOpen. stop (seen within 1 ms of a
// stoppable wait) and endAfterAttempt (seen once an attempt has read) may be null.
//
// Staying in step: after an attempt without a whole reply, the rest of its reply is let
// arrive (its time on the line extends the wait) and discarded, and the line must then be quiet
// for a few byte times, before the next request. A request that got no answer at all within
// the row's wait plus its reply's time on the line is asked again while attempts remain; its
// answer may still come, so until its bound every reply taken must have nothing behind it for
// the row's wait (the answer to a repeat follows the late one), and a reply to an earlier
// request is never read as the answer to a later one. Bytes that do not settle within their
// bound, or a last request that got no answer, end the exchange with outOfStep. What an
// exchange still awaits when it ends stays owed on the port, and the next exchange on that COM
// number lets it arrive (bounded by the time it could still come) before its own request. A
// hang-up ends the exchange at once (hungUp); while the port's device is lost, an exchange
// sleeps briefly and reports hungUp without touching the line.
ExchangeResult RunExchange(CSerialPort& port, const ExchangePolicy& policy, const Bytes& frame,
                           uint8_t* reply, int portNumber, const std::atomic<bool>* stop = nullptr,
                           const std::atomic<bool>* endAfterAttempt = nullptr);

// The whole-reply test of a row on a reply buffer of policy.readMax bytes, of which bytesRead
// arrived. (That nothing followed them is RunExchange's to see.)
bool IsWholeReply(const ExchangePolicy& policy, const uint8_t* reply, int bytesRead);
