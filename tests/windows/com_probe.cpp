// com_probe: drives a COM port through the Windows serial seam, one check per run, and says
// what it saw on stdout. tests/windows/wine-com-probe runs it under Wine against the virtual
// meter. Exit status 0 when the check holds, 1 when it does not, 2 on a bad command line.
//
//   com_probe version COMn     asks the meter's version and prints "reply: TEXT"
//   com_probe hangup COMn      prints "open", then waits for the device to go (kill the meter)
//   com_probe exclusive COMn   holds the port and prints how a second open of it fails
//   com_probe list             prints the system's ports and the COM numbers they take

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "link/port_table.h"
#include "link/serial_backend.h"

namespace {

using serial_backend::Backend;
using serial_backend::Handle;
using serial_backend::WaitResult;

constexpr int kBaudRate = 115200;
constexpr int kWriteTimeoutMs = 1000;
// Generous bounds: Wine's first calls into a fresh prefix are slow.
constexpr int kReplyTimeoutMs = 10000;
constexpr int kHangUpTimeoutMs = 30000;
constexpr int kWaitStepMs = 500;
// The meter sends its version text in one go and no line end: a reply is whole once the line
// has been quiet this long after its first byte.
constexpr int kQuietMs = 300;
constexpr int kMaxReply = 64;

Backend& backend = serial_backend::SystemBackend();

bool Open(const std::string& port, Handle* handle) {
    const serial_backend::OpenResult opened = backend.OpenDevice(port, kBaudRate);
    if (opened.handle == serial_backend::kNoHandle) {
        std::printf("open failed: error %d: %s\n", opened.error, opened.message.c_str());
        return false;
    }
    *handle = opened.handle;
    return true;
}

bool SendFrame(Handle handle, const std::string& frame) {
    for (char c : frame)
        if (backend.WriteOneByte(handle, static_cast<uint8_t>(c), kWriteTimeoutMs) !=
            serial_backend::WriteResult::Written)
            return false;
    return true;
}

// Reads until the line has been quiet for kQuietMs after the first byte, within the timeout.
std::string ReadReply(Handle handle) {
    std::string reply;
    const ULONGLONG deadline = GetTickCount64() + kReplyTimeoutMs;
    while (GetTickCount64() < deadline && reply.size() < kMaxReply) {
        const int wait = reply.empty() ? kWaitStepMs : kQuietMs;
        const WaitResult result = backend.WaitReadable(handle, wait);
        if (result == WaitResult::HungUp || (result == WaitResult::Timeout && !reply.empty()))
            break;
        uint8_t buffer[kMaxReply];
        const int n = backend.ReadQueued(handle, buffer, kMaxReply);
        if (n < 0) break;
        reply.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
    }
    return reply;
}

int AskVersion(const std::string& port) {
    Handle handle;
    if (!Open(port, &handle)) return 1;
    backend.DiscardInput(handle);
    const bool sent = SendFrame(handle, "<GETVER>>");
    const std::string reply = sent ? ReadReply(handle) : std::string();
    backend.CloseDevice(handle);
    std::printf("reply: %s\n", sent ? reply.c_str() : "(write failed)");
    return reply.empty() ? 1 : 0;
}

// Waits the way CSerialPort does: WaitReadable, then a read of what is queued.
int AwaitHangUp(const std::string& port) {
    Handle handle;
    if (!Open(port, &handle)) return 1;
    std::printf("open\n");
    std::fflush(stdout);
    const char* seenBy = nullptr;
    for (ULONGLONG end = GetTickCount64() + kHangUpTimeoutMs; !seenBy && GetTickCount64() < end;) {
        uint8_t buffer[kMaxReply];
        if (backend.WaitReadable(handle, kWaitStepMs) == WaitResult::HungUp)
            seenBy = "WaitReadable";
        else if (backend.ReadQueued(handle, buffer, kMaxReply) < 0)
            seenBy = "ReadQueued";
    }
    const bool stays = seenBy && backend.HasHungUp(handle) && backend.QueuedBytes(handle) == 0 &&
                       backend.WaitReadable(handle, kWaitStepMs) == WaitResult::HungUp;
    backend.CloseDevice(handle);
    std::printf("hang-up seen by %s%s\n", seenBy ? seenBy : "no call", stays ? "" : ", not kept");
    return stays ? 0 : 1;
}

// The second open's failure is printed as any open's is.
int TryTwice(const std::string& port) {
    Handle first, second;
    if (!Open(port, &first)) return 1;
    const bool refused = !Open(port, &second);
    if (!refused) backend.CloseDevice(second);
    backend.CloseDevice(first);
    if (!refused) std::printf("second open succeeded\n");
    return refused ? 0 : 1;
}

int ListPorts() {
    for (const std::string& name : ListSerialDevices("", ""))
        std::printf("port: %s\n", name.c_str());
    PortTable table;
    table.FillFromSystem();
    for (int n = 1; n <= PortTable::kPortCount; ++n)
        if (!table.PathOf(n).empty()) std::printf("COM%d = %s\n", n, table.PathOf(n).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string job = argc > 1 ? argv[1] : "";
    const std::string port = argc > 2 ? argv[2] : "";
    int status = 2;
    if (job == "list" && argc == 2) status = ListPorts();
    if (job == "version" && argc == 3) status = AskVersion(port);
    if (job == "hangup" && argc == 3) status = AwaitHangUp(port);
    if (job == "exclusive" && argc == 3) status = TryTwice(port);
    if (status == 2)
        std::fprintf(stderr, "usage: com_probe version|hangup|exclusive COMn | list\n");
    std::fflush(stdout);
    return status;
}
