// The signals on POSIX: sigaction, so a handler set with once gives itself back atomically.

#include "cli/cli_signals.h"

#include <csignal>

namespace {

std::atomic<std::atomic<bool>*> raisedOnSignal{nullptr};
static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

void OnSignal(int) {
    if (std::atomic<bool>* flag = raisedOnSignal.load()) flag->store(true);
}

}  // namespace

void RaiseOnSignals(std::atomic<bool>* flag, std::initializer_list<int> signals, bool once) {
    raisedOnSignal = flag;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    action.sa_flags = once ? SA_RESETHAND : 0;
    sigemptyset(&action.sa_mask);
    for (int number : signals)
        sigaction(number, &action, nullptr);
}

void StopRaisingOnSignals(std::initializer_list<int> signals) {
    for (int number : signals)
        std::signal(number, SIG_DFL);
    raisedOnSignal = nullptr;
}

void RaiseOnEndRequests(std::atomic<bool>* flag) {
    RaiseOnSignals(flag, {SIGINT, SIGTERM, SIGHUP}, false);
    // A reader that goes away is seen as a failed write, not a killed program.
    std::signal(SIGPIPE, SIG_IGN);
}
