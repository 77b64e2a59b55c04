#include "link/serial_port.h"

#include <algorithm>
#include <utility>

namespace {
// A Linux tty hands over at most this much per read() and FIONREAD never reports more; the
// rest of a longer reply waits in the kernel's buffers until the tty pushes it on.
constexpr int kTtyChunk = 4095;
// How long a read may linger for the kernel to push bytes that have already arrived.
constexpr int kPushWaitMs = 5;
// A byte on the line takes ten bit times at 115200 baud: 87 us.
constexpr int kByteMicros = 87;
// Room for the driver and the adapter's own buffers beyond the bytes' time on the line.
constexpr int kOutputMarginMs = 100;
constexpr int kOutputPollMs = 1;
constexpr int kGone = -1;
}  // namespace

CSerialPort::~CSerialPort() {
    Close();
}

int CSerialPort::Open(int portNumber, int baudRate, const char*, int, int) {
    {
        std::unique_lock lock(stateMutex_);
        if (opened_) return 1;
        std::string path = ports_.PathOf(portNumber);
        if (path.empty()) {
            lastOpenError_ = "COM" + std::to_string(portNumber) + " is not mapped to a device";
            lastOpenErrno_ = ENOENT;
            lastOpenFailure_ = PortFailure::NoSuchPort;
            return 0;
        }
        serial_backend::OpenResult result = backend_.OpenDevice(path, baudRate);
        if (result.handle == serial_backend::kNoHandle) {
            lastOpenError_ = path + ": " + result.message;
            lastOpenErrno_ = result.error;
            lastOpenFailure_ = result.failure;
            return 0;
        }
        handle_ = result.handle;
        lastOpenError_.clear();
        lastOpenErrno_ = 0;
        lastOpenFailure_ = PortFailure::None;
        opened_ = 1;
        portNumber_ = portNumber;
        openPath_ = path;
        ++opening_;
        hungUp_ = false;
    }
    Purge();
    return 1;
}

int CSerialPort::Close() {
    {
        std::shared_lock lock(stateMutex_);
        if (!opened_) return 1;
        backend_.DiscardInput(handle_);
    }
    WaitForOutputToLeave();
    std::unique_lock lock(stateMutex_);
    if (!opened_ || handle_ == serial_backend::kNoHandle) return 1;
    backend_.CloseDevice(handle_);
    handle_ = serial_backend::kNoHandle;
    opened_ = 0;
    portNumber_ = 0;
    return 1;
}

// Bounded by the queued bytes' time on the line plus a margin, so a stalled line cannot hold
// the close for ever.
void CSerialPort::WaitForOutputToLeave() {
    std::shared_lock lock(stateMutex_);
    if (!opened_) return;
    const int pending = backend_.PendingOutput(handle_);
    const Deadline deadline(clock_, pending * kByteMicros / 1000 + kOutputMarginMs);
    while (backend_.PendingOutput(handle_) > 0 && !deadline.Passed())
        clock_.SleepMs(kOutputPollMs);
}

void CSerialPort::CloseAfterHangUp(uint64_t opening) {
    {
        std::unique_lock lock(stateMutex_);
        // The port may have been closed, or opened afresh (perhaps under the same descriptor
        // number), since the hang-up was seen.
        if (!opened_ || opening_ != opening) return;
        backend_.CloseDevice(handle_);
        handle_ = serial_backend::kNoHandle;
        opened_ = 0;
        portNumber_ = 0;
        lostPath_ = openPath_;
        hungUp_ = true;
    }
    // Replies the device still owed went away with it.
    TakeOwedReply();
    if (onHangUp_) onHangUp_();
}

void CSerialPort::NoteOwedReply(const OwedReply& owed) {
    std::lock_guard lock(owedMutex_);
    owed_ = owed;
}

CSerialPort::OwedReply CSerialPort::TakeOwedReply() {
    std::lock_guard lock(owedMutex_);
    return std::exchange(owed_, OwedReply{});
}

std::string CSerialPort::LostDevicePath() const {
    std::shared_lock lock(stateMutex_);
    return lostPath_;
}

int CSerialPort::Purge() {
    int drained;
    uint64_t opening;
    {
        std::shared_lock lock(stateMutex_);
        if (!opened_) return 0;
        opening = opening_;
        uint8_t scratch[kPurgeDrainLimit];
        drained = ReadLocked(scratch, kPurgeDrainLimit);
        backend_.DiscardInput(handle_);
    }
    if (drained != kGone) return drained;
    CloseAfterHangUp(opening);
    return 0;
}

int CSerialPort::Send(const uint8_t* data, int length, int delayMs) {
    if (length > kMaxSendLength) {
        return kSendTooLong;
    }
    bool gone = false;
    uint64_t opening;
    {
        std::shared_lock lock(stateMutex_);
        if (!opened_ || handle_ == serial_backend::kNoHandle) return 0;
        if (length < 1) return 0;
        opening = opening_;
        std::lock_guard sendLock(sendMutex_);
        for (int i = 0; i < length && !gone; ++i) {
            gone = backend_.WriteOneByte(handle_, data[i], kWriteTimeoutMs) ==
                   serial_backend::WriteResult::Gone;
            if (!gone && delayMs > 0) clock_.SleepMs(delayMs);
        }
    }
    if (!gone) return length;
    CloseAfterHangUp(opening);
    return 0;
}

int CSerialPort::Send(const std::string& text, int delayMs) {
    return Send(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()),
                delayMs);
}

int CSerialPort::Read(uint8_t* buffer, int maxLength) {
    int n;
    uint64_t opening;
    {
        std::shared_lock lock(stateMutex_);
        if (!opened_ || handle_ == serial_backend::kNoHandle) return 0;
        opening = opening_;
        n = ReadLocked(buffer, maxLength);
    }
    if (n != kGone) return n;
    CloseAfterHangUp(opening);
    return 0;
}

// The bytes read, or kGone when the device has gone and nothing was read.
int CSerialPort::ReadLocked(uint8_t* buffer, int maxLength) {
    int total = 0;
    while (total < maxLength) {
        int queued = backend_.QueuedBytes(handle_);
        if (queued == 0) {
            // A device that went away reads as empty; its poll says why.
            if (total == 0 && backend_.HasHungUp(handle_)) return kGone;
            // A full tty buffer means more is already on its way from the kernel's side.
            if (total == 0 || total % kTtyChunk != 0) break;
            if (backend_.WaitReadable(handle_, kPushWaitMs) != serial_backend::WaitResult::Readable)
                break;
            continue;
        }
        int n = backend_.ReadQueued(handle_, buffer + total, std::min(queued, maxLength - total));
        if (n < 0 && total == 0) return kGone;
        if (n <= 0) break;
        total += n;
    }
    return total;
}

int CSerialPort::WriteByte(int value) {
    const uint8_t byte = static_cast<uint8_t>(value);
    Send(&byte, 1);  // a byte that cannot be written is dropped
    return 1;
}

int CSerialPort::IsOpen() const {
    std::shared_lock lock(stateMutex_);
    return opened_;
}

int CSerialPort::OpenPortNumber() const {
    std::shared_lock lock(stateMutex_);
    return portNumber_;
}

bool CSerialPort::WaitForInput(int timeoutMs) {
    serial_backend::WaitResult result;
    uint64_t opening;
    {
        std::shared_lock lock(stateMutex_);
        if (!opened_) {
            lock.unlock();
            clock_.SleepMs(timeoutMs);  // pollers of a closed port never spin
            return false;
        }
        opening = opening_;
        result = backend_.WaitReadable(handle_, timeoutMs);
    }
    if (result == serial_backend::WaitResult::HungUp) CloseAfterHangUp(opening);
    return result == serial_backend::WaitResult::Readable;
}

std::string CSerialPort::LastOpenError() const {
    std::shared_lock lock(stateMutex_);
    return lastOpenError_;
}

int CSerialPort::LastOpenErrno() const {
    std::shared_lock lock(stateMutex_);
    return lastOpenErrno_;
}

PortFailure CSerialPort::LastOpenFailure() const {
    std::shared_lock lock(stateMutex_);
    return lastOpenFailure_;
}
