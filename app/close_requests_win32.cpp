// The requests that end the program, on Windows: the console's control handler. It runs on a
// thread of its own, so it only posts the close to the window's thread, under a lock that the
// receiver's destruction takes too.

#include "app/close_requests.h"

#include <windows.h>

#include <mutex>

namespace {

// The system ends the program as soon as the handler of a closing console returns, and after
// 5 s at the latest: the handler holds on for a little less, while the window closes.
constexpr DWORD kClosingGraceMs = 4500;

class CloseReceiver;
std::mutex receiverLock;
CloseReceiver* receiver = nullptr;  // under receiverLock

class CloseReceiver : public QObject {
  public:
    explicit CloseReceiver(std::function<void()> close) : close_(std::move(close)) {}
    ~CloseReceiver() override {
        std::lock_guard lock(receiverLock);
        if (receiver == this) receiver = nullptr;
    }
    void Close() const { close_(); }

  private:
    std::function<void()> close_;
};

// TRUE: handled here; FALSE: the next handler, in the end the system's, ends the program.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    const bool interrupt = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    const bool ending =
        event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
    if (!interrupt && !ending) return FALSE;
    {
        std::lock_guard lock(receiverLock);
        if (!receiver) return FALSE;
        CloseReceiver* target = receiver;
        QMetaObject::invokeMethod(
            target, [target] { target->Close(); }, Qt::QueuedConnection);
    }
    if (ending) Sleep(kClosingGraceMs);
    return TRUE;
}

}  // namespace

std::unique_ptr<QObject> CloseOnEndRequests(QObject*, std::function<void()> close) {
    static const bool installed = SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != 0;
    if (!installed) return nullptr;
    auto taken = std::make_unique<CloseReceiver>(std::move(close));
    std::lock_guard lock(receiverLock);
    receiver = taken.get();
    return taken;
}
