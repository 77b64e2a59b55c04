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
// The line's settings are changed only once the exclusive lock is won.
OpenResult OpenDevice(const std::string& path, int baudRate);
void CloseDevice(Handle handle);

// Bytes waiting in the input queue; 0 on error or hang-up.
int QueuedBytes(Handle handle);

// Bytes written but not yet sent on the line; 0 when it cannot tell.
int PendingOutput(Handle handle);

// Reads what is queued, up to max, without waiting; 0 when nothing is there, -1 when the
// device has gone (hang-up, EIO, ENXIO).
int ReadQueued(Handle handle, uint8_t* buffer, int max);

enum class WriteResult { Written, TimedOut, Gone };

// Writes one byte, waiting at most timeoutMs for room.
WriteResult WriteOneByte(Handle handle, uint8_t value, int timeoutMs);

// Discards what was received but not read. Bytes written are never discarded.
void DiscardInput(Handle handle);

enum class WaitResult { Readable, Timeout, HungUp };

// Waits up to timeoutMs for input. A hang-up is reported at once.
WaitResult WaitReadable(Handle handle, int timeoutMs);

// True when the device has hung up (looked at without waiting).
bool HasHungUp(Handle handle);

}  // namespace serial_backend
