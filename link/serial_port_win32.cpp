// Placeholder for the Windows serial ports until their backend arrives: every open fails.

#include <windows.h>

#include "link/serial_backend.h"

namespace serial_backend {
namespace {

class NotBuiltBackend : public Backend {
  public:
    OpenResult OpenDevice(const std::string&, int) override {
        OpenResult result;
        result.error = static_cast<int>(ERROR_NOT_SUPPORTED);
        result.message = "the Windows serial port is not built yet";
        return result;
    }
    void CloseDevice(Handle) override {}
    int QueuedBytes(Handle) override { return 0; }
    int PendingOutput(Handle) override { return 0; }
    int ReadQueued(Handle, uint8_t*, int) override { return -1; }
    WriteResult WriteOneByte(Handle, uint8_t, int) override { return WriteResult::Gone; }
    void DiscardInput(Handle) override {}
    WaitResult WaitReadable(Handle, int) override { return WaitResult::HungUp; }
    bool HasHungUp(Handle) override { return true; }
};

}  // namespace

Backend& SystemBackend() {
    static NotBuiltBackend backend;
    return backend;
}

}  // namespace serial_backend
