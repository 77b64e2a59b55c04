#pragma once
// CSerialPort: the program's only road to the meter. One COM port at 115200 8N1, written one
// byte at a time and read without ever waiting for data. The class knows nothing of commands:
// framing, waiting and retrying belong to the callers (command_exchange.h).
//
// Thread use: sends are serialised under one lock so two senders never interleave a frame;
// reads may run beside a send (the terminal's receiver). Open and Close exclude both.
//
// The port talks through a backend (the system's serial ports unless told otherwise) and sleeps
// and takes its deadlines on a clock (the real one unless told otherwise); every exchange run on
// the port uses the same clock. Both must outlive the port.
//
// A hang-up (the device went away: POLLHUP, EIO, ENXIO) seen by any call closes the port, tells
// the port's owner (OnHangUp), and remembers the device's path so the meter can be found there
// again (ReidentifyLostMeter).
//
// Each port has its own table of COM numbers (Ports), so two ports never share a mapping.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "link/link_timing.h"
#include "link/port_table.h"
#include "link/serial_backend.h"

inline constexpr int kMaxSendLength = 32;
inline constexpr int kPurgeDrainLimit = 60;
inline constexpr int kWriteTimeoutMs = 1000;
inline constexpr int kMeterBaudRate = 115200;
inline constexpr int kSendTooLong = -1;
inline constexpr const char* kSendTooLongMessage = "Data too long to send! (Maximum 32 bytes)";

class CSerialPort {
  public:
    explicit CSerialPort(serial_backend::Backend& backend = serial_backend::SystemBackend(),
                         Clock& clock = SystemClock())
        : backend_(backend), clock_(clock) {}
    ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Opens COM portNumber; 1 on success, also when a port is open already (whatever number
    // was asked for: a caller that wants another port closes first), 0 on failure. The line
    // is always 8 data bits, no parity, one stop bit, whatever the last three arguments say.
    int Open(int portNumber, int baudRate = kMeterBaudRate, const char* parity = "n",
             int dataBits = 8, int stopBits = 1);

    // Discards what was received, lets the bytes already written leave (waiting at most their
    // time on the line plus a margin), then closes; always 1, a no-op on a closed port.
    int Close();

    // Reads away at most 60 received bytes, then discards the rest of the input; returns the
    // count read away. Bytes written are never discarded: a key press sent a moment ago still
    // leaves.
    int Purge();

    // Sends length bytes, sleeping delayMs after each one. Returns length, 0 on a closed port
    // or length below 1, kSendTooLong above 32 (nothing is sent; the caller says
    // "Data too long to send! (Maximum 32 bytes)").
    int Send(const uint8_t* data, int length, int delayMs = 0);
    int Send(const std::string& text, int delayMs = 0);

    // Returns what is queued, up to maxLength, without waiting for more; 0 when closed or
    // nothing is queued. Bytes beyond the count keep their old contents.
    int Read(uint8_t* buffer, int maxLength);

    // Writes the low 8 bits; always 1 (a byte that cannot be written is dropped).
    int WriteByte(int value);

    int IsOpen() const;

    // The clock this port's sleeps and deadlines, and those of the exchanges on it, run on.
    Clock& clock() const { return clock_; }

    // The COM numbers this port can open.
    PortTable& Ports() { return ports_; }
    const PortTable& Ports() const { return ports_; }

    // Called (on the thread that saw it) after a hang-up has closed the port.
    void OnHangUp(std::function<void()> handler) { onHangUp_ = std::move(handler); }

    // The COM number of the open port, 0 when closed.
    int OpenPortNumber() const;

    // Waits up to timeoutMs for input (a POSIX addition: lets readers sleep instead of spin).
    // True when bytes are queued; a closed port sleeps the timeout and says false; a hang-up
    // closes the port and says false at once.
    bool WaitForInput(int timeoutMs);

    // True when the last hang-up closed the port and no Open has succeeded since.
    bool HungUp() const { return hungUp_; }

    // The device path of the port the last hang-up closed; "" before any. Only the owner's
    // lost-link state says whether it still matters.
    std::string LostDevicePath() const;

    // The system's reason for the last failed Open, e.g. "Permission denied", its error
    // number (0 after a successful Open) and what that number means on any system.
    std::string LastOpenError() const;
    int LastOpenErrno() const;
    PortFailure LastOpenFailure() const;

    // A reply the meter may still send to a request an exchange gave up on. The port keeps
    // it across Close and Open, so the next exchange on the same COM number can let it pass
    // before asking anew instead of reading it as its own answer.
    struct OwedReply {
        int portNumber = 0;  // 0: nothing owed
        int bytes = 0;
        int64_t untilMs = 0;  // no longer waited for after this (clock() ms)
    };
    void NoteOwedReply(const OwedReply& owed);
    // Returns what is owed and forgets it.
    OwedReply TakeOwedReply();

  private:
    int ReadLocked(uint8_t* buffer, int maxLength);
    void WaitForOutputToLeave();
    // Closes the port of the device that went away (opening: the Open it was seen on) and
    // raises the lost-link flags; nothing when the port has been closed or opened afresh since.
    void CloseAfterHangUp(uint64_t opening);

    serial_backend::Backend& backend_;
    Clock& clock_;
    mutable std::shared_mutex stateMutex_;  // exclusive for Open/Close, shared for I/O
    std::mutex sendMutex_;                  // one frame at a time
    serial_backend::Handle handle_ = serial_backend::kNoHandle;
    int opened_ = 0;
    int portNumber_ = 0;
    std::string lastOpenError_;
    int lastOpenErrno_ = 0;
    PortFailure lastOpenFailure_ = PortFailure::None;
    std::string openPath_;
    uint64_t opening_ = 0;  // counts the Opens, so a hang-up is tied to the one it was seen on
    std::string lostPath_;
    std::atomic<bool> hungUp_{false};
    std::mutex owedMutex_;
    OwedReply owed_;
    PortTable ports_;
    std::function<void()> onHangUp_;  // set once by the owner, before any I/O
};
