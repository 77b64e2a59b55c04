#include "link/serial_port.h"

#include "link/link_timing.h"
#include "link/message_seam.h"
#include "link/port_table.h"

CSerialPort MeterPort;

namespace {
// A Linux tty hands over at most this much per read() and FIONREAD never reports more; the
// rest of a longer reply waits in the kernel's buffers until the tty pushes it on.
constexpr int kTtyChunk = 4095;
// How long a read may linger for the kernel to push bytes that have already arrived.
constexpr int kPushWaitMs = 5;
}  // namespace

CSerialPort::~CSerialPort() {
    Close();
}

int CSerialPort::Open(int portNumber, int baudRate, const char*, int, int) {
    {
        std::unique_lock lock(stateMutex_);
        if (opened_) return 1;
        std::string path = PortTable::Instance().PathOf(portNumber);
        if (path.empty()) {
            lastOpenError_ = "COM" + std::to_string(portNumber) + " is not mapped to a device";
            lastOpenErrno_ = ENOENT;
            return 0;
        }
        serial_backend::OpenResult result = serial_backend::OpenDevice(path, baudRate);
        if (result.handle == serial_backend::kNoHandle) {
            lastOpenError_ = path + ": " + result.message;
            lastOpenErrno_ = result.error;
            return 0;
        }
        handle_ = result.handle;
        lastOpenError_.clear();
        lastOpenErrno_ = 0;
        opened_ = 1;
        portNumber_ = portNumber;
    }
    Purge();
    return 1;
}

int CSerialPort::Close() {
    Purge();
    std::unique_lock lock(stateMutex_);
    if (!opened_ || handle_ == serial_backend::kNoHandle) return 1;
    serial_backend::CloseDevice(handle_);
    handle_ = serial_backend::kNoHandle;
    opened_ = 0;
    portNumber_ = 0;
    return 1;
}

int CSerialPort::Purge() {
    std::shared_lock lock(stateMutex_);
    if (!opened_) return 0;
    serial_backend::DiscardQueues(handle_);
    uint8_t scratch[kPurgeDrainLimit];
    return ReadLocked(scratch, kPurgeDrainLimit);
}

int CSerialPort::Send(const uint8_t* data, int length, int delayMs) {
    if (length > kMaxSendLength) {
        ShowMessage(kSendTooLongMessage);
        return -1;
    }
    std::shared_lock lock(stateMutex_);
    if (!opened_ || handle_ == serial_backend::kNoHandle) return 0;
    if (length < 1) return 0;
    std::lock_guard sendLock(sendMutex_);
    for (int i = 0; i < length; ++i) {
        serial_backend::WriteOneByte(handle_, data[i], kWriteTimeoutMs);
        if (delayMs > 0) SleepMs(delayMs);
    }
    return length;
}

int CSerialPort::Send(const std::string& text, int delayMs) {
    return Send(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()),
                delayMs);
}

int CSerialPort::Read(uint8_t* buffer, int maxLength) {
    std::shared_lock lock(stateMutex_);
    if (!opened_ || handle_ == serial_backend::kNoHandle) return 0;
    return ReadLocked(buffer, maxLength);
}

int CSerialPort::ReadLocked(uint8_t* buffer, int maxLength) {
    int total = 0;
    while (total < maxLength) {
        int queued = serial_backend::QueuedBytes(handle_);
        if (queued == 0) {
            // A full tty buffer means more is already on its way from the kernel's side.
            if (total == 0 || total % kTtyChunk != 0) break;
            if (serial_backend::WaitReadable(handle_, kPushWaitMs) !=
                serial_backend::WaitResult::Readable)
                break;
            continue;
        }
        int n = serial_backend::ReadQueued(handle_, buffer + total,
                                           std::min(queued, maxLength - total));
        if (n <= 0) break;
        total += n;
    }
    return total;
}

int CSerialPort::WriteByte(int value) {
    std::shared_lock lock(stateMutex_);
    if (opened_)
        serial_backend::WriteOneByte(handle_, static_cast<uint8_t>(value), kWriteTimeoutMs);
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
    std::shared_lock lock(stateMutex_);
    if (!opened_) {
        lock.unlock();
        SleepMs(timeoutMs);
        return false;
    }
    return serial_backend::WaitReadable(handle_, timeoutMs) == serial_backend::WaitResult::Readable;
}

std::string CSerialPort::LastOpenError() const {
    std::shared_lock lock(stateMutex_);
    return lastOpenError_;
}

int CSerialPort::LastOpenErrno() const {
    std::shared_lock lock(stateMutex_);
    return lastOpenErrno_;
}
