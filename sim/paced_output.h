#pragma once
// The meter's transmitter. Replies leave one after another, each no sooner than the firmware
// has it ready, at the pace of a 115200-baud line (ten bits a byte), so a long reply takes as
// long to arrive as it would from the real meter: 1025 bytes about 89 ms, 4096 about 356 ms.

#include <cstdint>
#include <deque>

#include "link/command_frame.h"

inline constexpr double kLineBytesPerSecond = 115200.0 / 10;

class PacedOutput {
  public:
    // bytesPerSecond 0: every byte leaves the moment its reply is ready.
    explicit PacedOutput(double bytesPerSecond);

    // A reply whose first byte may leave at readyAtUs (microseconds, any fixed origin).
    void Queue(const Bytes& bytes, int64_t readyAtUs);

    // The bytes that have finished crossing the line by nowUs, in order.
    Bytes TakeDue(int64_t nowUs);

    // When the next chunk of bytes will have arrived; INT64_MAX when nothing is waiting.
    int64_t NextDueUs() const;

    bool Idle() const { return queue_.empty(); }

    // Bytes are handed over in chunks of this many, as a UART's FIFO would.
    static constexpr size_t kChunk = 16;

  private:
    struct Reply {
        Bytes bytes;
        int64_t readyAtUs;
        size_t sent = 0;
        double startUs = -1;  // when its first byte started out; -1 until known
    };
    double StartOf(const Reply& reply) const;

    std::deque<Reply> queue_;
    double byteUs_;
    double lineFreeUs_ = 0;  // when the line has finished the replies before
};
