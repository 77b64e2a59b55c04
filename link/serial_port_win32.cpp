// Win32 implementation of the serial seam: overlapped I/O on a COM port opened exclusively.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cwctype>
#include <mutex>
#include <string>

#include "link/serial_backend.h"

namespace serial_backend {
namespace {

// A read with these timeouts returns at once with what is queued, never waiting for more.
constexpr DWORD kReadReturnsAtOnce = MAXDWORD;
// The reads above finish at once; this bounds a driver that holds one anyway.
constexpr DWORD kReadCompletionMs = 1000;
// When a port refuses character events, the queue is looked at this often instead.
constexpr DWORD kQueuePollMs = 2;

// What one open port needs besides its file: the wait's lock and what the calls learnt.
struct Port {
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE claim = nullptr;  // the port's named claim, see ClaimPort
    // A COM port takes one WaitCommEvent at a time; a second waiter queues behind the first,
    // within its own timeout.
    std::timed_mutex waitMutex;
    // Set by whichever call first sees the device go; a vanished port never comes back.
    std::atomic<bool> gone{false};
    // Set when the port aborted a character wait while present; its waits then poll the queue.
    std::atomic<bool> abortsWaits{false};
};

Port& PortOf(Handle handle) {
    return *reinterpret_cast<Port*>(handle);
}

std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string Narrow(const wchar_t* text, int length) {
    if (length <= 0) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, narrow.data(), n, nullptr, nullptr);
    return narrow;
}

// The system's words for an error, in UTF-8, without the trailing line end and full stop.
std::string SystemMessage(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string message = length ? Narrow(buffer, static_cast<int>(length)) : std::string();
    if (buffer) LocalFree(buffer);
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    if (message.empty()) message = "error " + std::to_string(error);
    return message;
}

// "COM12" names a port only with the device prefix (COM10 and above have no DOS alias);
// any other path is taken as given.
std::wstring DevicePath(const std::string& path) {
    std::wstring wide = Widen(path);
    const bool bareCom = wide.size() > 3 && _wcsnicmp(wide.c_str(), L"COM", 3) == 0 &&
                         wide.find_first_not_of(L"0123456789", 3) == std::wstring::npos;
    return bareCom ? L"\\\\.\\" + wide : wide;
}

// The errors of a port whose device went away: a USB adapter pulled, a driver that stopped.
// ERROR_NOT_READY is what Wine reports for a pseudo-terminal whose far end closed (EIO).
bool DeviceGone(DWORD error) {
    switch (error) {
        case ERROR_DEVICE_REMOVED:
        case ERROR_BAD_COMMAND:
        case ERROR_ACCESS_DENIED:
        case ERROR_INVALID_HANDLE:
        case ERROR_GEN_FAILURE:
        case ERROR_NOT_READY:
            return true;
        default:
            return false;
    }
}

// Marks the port gone when the error is one a removed device gives; true when it is gone. An
// abort we did not cause counts only when the port's status cannot be read either: Windows
// aborts the pending calls of a removed device, which then fails every call, while Wine aborts
// every character wait on a port without modem lines (a pseudo-terminal) that is still there.
bool NoteIfGone(Port& port, DWORD error) {
    if (error == ERROR_OPERATION_ABORTED) {
        DWORD errors = 0;
        COMSTAT status{};
        if (ClearCommError(port.file, &errors, &status)) {
            port.abortsWaits = true;
            return port.gone;
        }
        error = GetLastError();
        if (error == ERROR_OPERATION_ABORTED) error = ERROR_DEVICE_REMOVED;
    }
    if (DeviceGone(error)) port.gone = true;
    return port.gone;
}

// Windows' serial drivers refuse a second open of a port; Wine's emulation lets it through.
// A named object per device stands in there, so that a second copy of the program is refused
// as on Windows. The system closes it with its holder, so a crash never leaves a port claimed.
// False when another holder has it; a path too long for an object name goes unclaimed, as the
// driver's own refusal is what counts on Windows.
bool ClaimPort(const std::wstring& devicePath, HANDLE* claim) {
    std::wstring name = L"Local\\Ferrolog.port." + devicePath;
    for (size_t i = 6; i < name.size(); ++i)
        name[i] = name[i] == L'\\' ? L'/' : static_cast<wchar_t>(towupper(name[i]));
    *claim = CreateMutexW(nullptr, FALSE, name.c_str());
    if (!*claim || GetLastError() != ERROR_ALREADY_EXISTS) return true;
    CloseHandle(*claim);
    *claim = nullptr;
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

// After a call failed or ran out of time: whether the port has gone. The status is asked too,
// since a vanished device may fail a read or stall a write with an error of its own (Wine ends
// a read of a pseudo-terminal whose far end closed with ERROR_BROKEN_PIPE and never finishes a
// write to it); a removed device fails the status call.
bool GoneAfter(Port& port, DWORD error) {
    if (NoteIfGone(port, error)) return true;
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port.file, &errors, &status)) NoteIfGone(port, GetLastError());
    return port.gone;
}

OpenResult Failure(DWORD error, HANDLE file, HANDLE claim) {
    OpenResult result;
    result.error = static_cast<int>(error);
    result.failure = PortFailureOf(result.error);
    result.message = SystemMessage(error);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (claim) CloseHandle(claim);
    return result;
}

bool ConfigureRaw8N1(HANDLE file, int baudRate) {
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(file, &dcb)) return false;
    dcb.BaudRate = static_cast<DWORD>(baudRate);
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    // No flow control of any kind; DTR and RTS on, as an open leaves them on Linux.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;  // an overrun must not fail every later call until cleared
    if (!SetCommState(file, &dcb)) return false;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kReadReturnsAtOnce;
    if (!SetCommTimeouts(file, &timeouts)) return false;
    return SetCommMask(file, EV_RXCHAR) != 0;
}

// An OVERLAPPED with its own event, made per call so that calls on one port from several
// threads never share one.
class Overlapped {
  public:
    Overlapped() { ov_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~Overlapped() {
        if (ov_.hEvent) CloseHandle(ov_.hEvent);
    }
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;
    bool valid() const { return ov_.hEvent != nullptr; }
    OVERLAPPED* get() { return &ov_; }

  private:
    OVERLAPPED ov_{};
};

enum class Outcome { Done, TimedOut, Failed };

// Waits up to timeoutMs for an operation that went pending. On timeout it is cancelled, and the
// cancel is waited for: the OVERLAPPED and the buffer must outlive the driver's use of them.
Outcome FinishPending(HANDLE file, Overlapped& ov, DWORD timeoutMs, DWORD* transferred,
                      DWORD* error) {
    const DWORD waited = WaitForSingleObject(ov.get()->hEvent, timeoutMs);
    bool cancelled = false;
    if (waited != WAIT_OBJECT_0) {
        CancelIoEx(file, ov.get());
        cancelled = true;
    }
    if (GetOverlappedResult(file, ov.get(), transferred, TRUE)) return Outcome::Done;
    *error = GetLastError();
    if (cancelled && *error == ERROR_OPERATION_ABORTED) return Outcome::TimedOut;
    return Outcome::Failed;
}

// Runs an overlapped call that returned started: done at once, pending, or failed.
Outcome Complete(BOOL startedOk, HANDLE file, Overlapped& ov, DWORD timeoutMs, DWORD* transferred,
                 DWORD* error) {
    if (startedOk)
        return GetOverlappedResult(file, ov.get(), transferred, FALSE)
                   ? Outcome::Done
                   : (*error = GetLastError(), Outcome::Failed);
    *error = GetLastError();
    if (*error != ERROR_IO_PENDING) return Outcome::Failed;
    return FinishPending(file, ov, timeoutMs, transferred, error);
}

class Win32Backend : public Backend {
  public:
    OpenResult OpenDevice(const std::string& path, int baudRate) override;
    void CloseDevice(Handle handle) override;
    int QueuedBytes(Handle handle) override;
    int PendingOutput(Handle handle) override;
    int ReadQueued(Handle handle, uint8_t* buffer, int max) override;
    WriteResult WriteOneByte(Handle handle, uint8_t value, int timeoutMs) override;
    void DiscardInput(Handle handle) override;
    WaitResult WaitReadable(Handle handle, int timeoutMs) override;
    bool HasHungUp(Handle handle) override;

  private:
    // The port's status, or false when it cannot be read (then the port is marked gone if the
    // error says so).
    static bool ReadStatus(Port& port, COMSTAT* status);
    // Waits for one EV_RXCHAR within timeoutMs: Timeout (then the queue tells) or HungUp.
    static WaitResult WaitForCharEvent(Port& port, DWORD timeoutMs);
};

}  // namespace

Backend& SystemBackend() {
    static Win32Backend backend;  // stateless: every call works on the handle it is given
    return backend;
}

OpenResult Win32Backend::OpenDevice(const std::string& path, int baudRate) {
    // Share mode 0: the port is ours alone, and a second opener gets ERROR_ACCESS_DENIED
    // before it could change the line's settings. FILE_FLAG_OVERLAPPED: every wait below has
    // a deadline, which blocking calls on a COM port cannot have.
    const std::wstring device = DevicePath(path);
    HANDLE claim = nullptr;
    if (!ClaimPort(device, &claim)) return Failure(GetLastError(), INVALID_HANDLE_VALUE, claim);
    HANDLE file = CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Failure(GetLastError(), file, claim);
    if (!ConfigureRaw8N1(file, baudRate)) return Failure(GetLastError(), file, claim);
    auto* port = new Port;
    port->file = file;
    port->claim = claim;
    OpenResult result;
    result.handle = reinterpret_cast<Handle>(port);
    return result;
}

void Win32Backend::CloseDevice(Handle handle) {
    if (handle == kNoHandle) return;
    Port* port = &PortOf(handle);
    CloseHandle(port->file);
    if (port->claim) CloseHandle(port->claim);
    delete port;
}

bool Win32Backend::ReadStatus(Port& port, COMSTAT* status) {
    DWORD errors = 0;
    if (ClearCommError(port.file, &errors, status)) return true;
    NoteIfGone(port, GetLastError());
    return false;
}

int Win32Backend::QueuedBytes(Handle handle) {
    Port& port = PortOf(handle);
    COMSTAT status{};
    if (port.gone || !ReadStatus(port, &status)) return 0;
    return static_cast<int>(status.cbInQue);
}

int Win32Backend::PendingOutput(Handle handle) {
    Port& port = PortOf(handle);
    COMSTAT status{};
    if (port.gone || !ReadStatus(port, &status)) return 0;
    return static_cast<int>(status.cbOutQue);
}

int Win32Backend::ReadQueued(Handle handle, uint8_t* buffer, int max) {
    Port& port = PortOf(handle);
    if (port.gone) return -1;
    if (max <= 0) return 0;
    Overlapped ov;
    if (!ov.valid()) return 0;
    DWORD got = 0, error = 0;
    const BOOL ok = ReadFile(port.file, buffer, static_cast<DWORD>(max), nullptr, ov.get());
    const Outcome outcome = Complete(ok, port.file, ov, kReadCompletionMs, &got, &error);
    if (outcome == Outcome::Done) return static_cast<int>(got);
    // A read we cancelled ourselves says nothing of the device; its status does.
    return GoneAfter(port, outcome == Outcome::Failed ? error : ERROR_SUCCESS) ? -1 : 0;
}

WriteResult Win32Backend::WriteOneByte(Handle handle, uint8_t value, int timeoutMs) {
    Port& port = PortOf(handle);
    if (port.gone) return WriteResult::Gone;
    Overlapped ov;
    if (!ov.valid()) return WriteResult::TimedOut;
    DWORD written = 0, error = 0;
    const BOOL ok = WriteFile(port.file, &value, 1, nullptr, ov.get());
    const DWORD bound = timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : 0;
    const Outcome outcome = Complete(ok, port.file, ov, bound, &written, &error);
    // A write timeout of the driver's own completes with nothing written.
    if (outcome == Outcome::Done)
        return written == 1 ? WriteResult::Written : WriteResult::TimedOut;
    const DWORD cause = outcome == Outcome::Failed ? error : ERROR_SUCCESS;
    return GoneAfter(port, cause) ? WriteResult::Gone : WriteResult::TimedOut;
}

void Win32Backend::DiscardInput(Handle handle) {
    Port& port = PortOf(handle);
    // PURGE_RXCLEAR only: PURGE_TXCLEAR would throw away a key press another thread wrote a
    // moment ago, and the ABORT flags would end another thread's wait.
    if (!port.gone && !PurgeComm(port.file, PURGE_RXCLEAR)) NoteIfGone(port, GetLastError());
}

WaitResult Win32Backend::WaitForCharEvent(Port& port, DWORD timeoutMs) {
    Overlapped ov;
    if (!ov.valid()) return WaitResult::Timeout;
    DWORD events = 0, unused = 0, error = 0;
    const BOOL ok = WaitCommEvent(port.file, &events, ov.get());
    if (!ok && GetLastError() == ERROR_IO_PENDING) {
        // Bytes that came between the caller's look at the queue and the wait's start may not
        // raise EV_RXCHAR again: look once more, and take back the wait if they are there.
        COMSTAT status{};
        if (ReadStatus(port, &status) && status.cbInQue > 0) timeoutMs = 0;
    }
    switch (Complete(ok, port.file, ov, timeoutMs, &unused, &error)) {
        case Outcome::Done:
        case Outcome::TimedOut:
            return WaitResult::Timeout;  // the caller looks at the queue to tell
        case Outcome::Failed:
            break;
    }
    if (NoteIfGone(port, error)) return WaitResult::HungUp;
    Sleep(std::min(timeoutMs, kQueuePollMs));  // a refused wait must not make the caller spin
    return WaitResult::Timeout;
}

WaitResult Win32Backend::WaitReadable(Handle handle, int timeoutMs) {
    Port& port = PortOf(handle);
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(std::max(timeoutMs, 0));
    auto left = [&] {
        const ULONGLONG now = GetTickCount64();
        return now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    };
    std::unique_lock lock(port.waitMutex, std::defer_lock);
    if (!lock.try_lock_for(std::chrono::milliseconds(left()))) return WaitResult::Timeout;
    for (;;) {
        // Input queued already is readable at once, even from a port that has just gone.
        COMSTAT status{};
        const bool known = ReadStatus(port, &status);
        if (known && status.cbInQue > 0) return WaitResult::Readable;
        if (port.gone) return WaitResult::HungUp;
        const DWORD wait = left();
        if (wait == 0) return WaitResult::Timeout;
        // A character event may be left over from bytes already read, so it only wakes the
        // loop, and the queue says whether there is something.
        if (!known || port.abortsWaits)
            Sleep(std::min(wait, kQueuePollMs));
        else if (WaitForCharEvent(port, wait) == WaitResult::HungUp)
            return WaitResult::HungUp;
    }
}

bool Win32Backend::HasHungUp(Handle handle) {
    Port& port = PortOf(handle);
    if (port.gone) return true;
    COMSTAT status{};
    ReadStatus(port, &status);  // a removed device fails it, and that marks the port
    return port.gone;
}

}  // namespace serial_backend

// Windows' serial ports have no permissions to fix: a port refused as denied is held by another
// program (the driver's own refusal of a second open, or our claim on it).
PortFailure PortFailureOf(int systemError) {
    switch (static_cast<DWORD>(systemError)) {
        case ERROR_SUCCESS:
            return PortFailure::None;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return PortFailure::Busy;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return PortFailure::NoSuchPort;
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
            // A file or device that takes no line settings.
            return PortFailure::NotSerial;
        case ERROR_DEVICE_REMOVED:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_GEN_FAILURE:
        case ERROR_NOT_READY:
            return PortFailure::Removed;
        default:
            return PortFailure::Other;
    }
}
