#pragma once
// The one receiver loop: the terminal window, the command-line terminal and the raw send job
// all take what the meter sends through ReceiveUntilQuiet, each with its own pace.

#include <atomic>
#include <cstdint>
#include <functional>

#include "link/serial_port.h"

struct ReceivePace {
    int pollMs;      // each look sleeps on the port at most this long
    int quietMs;     // once bytes came, the line quiet this long ends it (0: never)
    int waitMs;      // the whole receive ends after this long (0: no bound)
    bool endOnLost;  // a failed read or a lost link ends it
};

using ReceivedChunk = std::function<void(const uint8_t* bytes, int count)>;

// Reads from the port until `running` (may be null) is lowered, the wait ends or the line has
// gone quiet, calling onChunk after every look with what it read (count 0 when nothing came, below
// 0 when the read failed). Runs on the caller's thread.
void ReceiveUntilQuiet(CSerialPort& port, const ReceivePace& pace, const std::atomic<bool>* running,
                       const ReceivedChunk& onChunk);
