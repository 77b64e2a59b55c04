#pragma once
// The platform seam under CSerialPort: the few calls one operating system must supply.
// serial_port_posix.cpp implements them with termios; a Win32 file will implement the same.

#include <cstdint>
#include <string>

namespace serial_backend {

using Handle = intptr_t;
inline constexpr Handle kNoHandle = -1;

struct OpenResult {
    Handle handle = kNoHandle;
    int error = 0;        // the system's error number when the open failed
    std::string message;  // the system's own words for it
};

// Opens the device exclusively, raw, at the baud rate with 8N1; never blocks on the line.
OpenResult OpenDevice(const std::string& path, int baudRate);
void CloseDevice(Handle handle);

// Bytes waiting in the input queue; 0 on error or hang-up.
int QueuedBytes(Handle handle);

// Reads what is queued, up to max, without waiting; returns 0 when nothing is there.
int ReadQueued(Handle handle, uint8_t* buffer, int max);

// Writes one byte, waiting at most timeoutMs for room; false when it could not be written.
bool WriteOneByte(Handle handle, uint8_t value, int timeoutMs);

// Discards everything not yet sent and everything received but not read.
void DiscardQueues(Handle handle);

enum class WaitResult { Readable, Timeout, HungUp };

// Waits up to timeoutMs for input. A hung-up device sleeps out the timeout before it says so,
// so a caller polling in a loop never spins.
WaitResult WaitReadable(Handle handle, int timeoutMs);

}  // namespace serial_backend
