#pragma once
// The character pane as a serial terminal's log. Every line begins with the local time to the
// millisecond and who spoke: "12:34:56.789 RX " for bytes from the meter, "12:34:56.789 TX "
// for a frame sent to it. Each batch of received bytes begins a line, and so does each line
// break in it (CR, LF, or a CR LF pair, even one split across batches). A byte that is not
// printable ASCII shows as '.'. Lines end in LF.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/command_frame.h"

using TerminalClock = std::chrono::system_clock;

// "hh:mm:ss.mmm" in local time.
std::string TerminalStamp(TerminalClock::time_point at);

// The byte itself when it is printable ASCII (blank to '~'), otherwise '.'.
char TerminalLogChar(uint8_t byte);

class TerminalLog {
  public:
    // The text a batch of received bytes adds to the log, stamped with when it arrived.
    std::string Received(const uint8_t* bytes, size_t count, TerminalClock::time_point at);
    // The line a frame sent adds.
    std::string Sent(const Bytes& frame, TerminalClock::time_point at);
    // The pane was emptied: the next text begins a line.
    void Clear();

  private:
    bool lineOpen_ = false;  // the last line has its stamp and no break yet
    bool afterCr_ = false;   // the last byte received was a CR: an LF now adds nothing
};
