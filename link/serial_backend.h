#pragma once
// The platform seam under CSerialPort: the few calls one operating system must supply.
// serial_port_posix.cpp implements them with termios; a Win32 file will implement the same, and
// the tests put a scripted meter behind them.

#include <cstdint>
#include <string>

#include "link/port_failure.h"

namespace serial_backend {

using Handle = intptr_t;
inline constexpr Handle kNoHandle = -1;

struct OpenResult {
    Handle handle = kNoHandle;
    int error = 0;                            // the system's error number when the open failed
    PortFailure failure = PortFailure::None;  // what that number means
    std::string message;                      // the system's own words for it
};

enum class WriteResult { Written, TimedOut, Gone };

enum class WaitResult { Readable, Timeout, HungUp };

// Its calls may come from several threads at once, each on a handle it opened.
class Backend {
  public:
    virtual ~Backend() = default;

    // Opens the device exclusively, raw, at the baud rate with 8N1; never blocks on the line.
    // The line's settings are changed only once the exclusive lock is won.
    virtual OpenResult OpenDevice(const std::string& path, int baudRate) = 0;
    virtual void CloseDevice(Handle handle) = 0;

    // Bytes waiting in the input queue; 0 on error or hang-up.
    virtual int QueuedBytes(Handle handle) = 0;

    // Bytes written but not yet sent on the line; 0 when it cannot tell.
    virtual int PendingOutput(Handle handle) = 0;

    // Reads what is queued, up to max, without waiting; 0 when nothing is there, -1 when the
    // device has gone (hang-up, EIO, ENXIO).
    virtual int ReadQueued(Handle handle, uint8_t* buffer, int max) = 0;

    // Writes one byte, waiting at most timeoutMs for room.
    virtual WriteResult WriteOneByte(Handle handle, uint8_t value, int timeoutMs) = 0;

    // Discards what was received but not read. Bytes written are never discarded.
    virtual void DiscardInput(Handle handle) = 0;

    // Waits up to timeoutMs for input. A hang-up is reported at once.
    virtual WaitResult WaitReadable(Handle handle, int timeoutMs) = 0;

    // True when the device has hung up (looked at without waiting).
    virtual bool HasHungUp(Handle handle) = 0;
};

// The operating system's serial ports; stateless, shared by every port.
Backend& SystemBackend();

}  // namespace serial_backend
