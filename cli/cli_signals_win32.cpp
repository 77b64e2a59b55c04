// The signals on Windows: one console control handler, called on a thread of its own, stands
// for SIGINT (Ctrl+C, Ctrl+Break) and SIGTERM (the console closing, logoff, shutdown).

#include "cli/cli_signals.h"

#include <windows.h>

#include <csignal>

namespace {

std::atomic<std::atomic<bool>*> raisedOnSignal{nullptr};
std::atomic<unsigned> takenSignals{0};  // a bit per signal number
std::atomic<bool> giveBackOnce{false};
// The system ends the program as soon as the handler of a closing console returns, and after
// 5 s at the latest: the handler holds on for a little less, while the job writes what it has
// and exits (which ends the handler's thread too).
constexpr DWORD kClosingGraceMs = 4500;

unsigned BitOf(int number) {
    return number >= 0 && number < 32 ? 1u << number : 0u;
}

int SignalOfEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            return SIGINT;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            return SIGTERM;
        default:
            return 0;
    }
}

// TRUE: handled here; FALSE: the next handler, in the end the system's, ends the program.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    const unsigned bit = BitOf(SignalOfEvent(event));
    if (!bit || !(takenSignals.load() & bit)) return FALSE;
    if (giveBackOnce.load()) takenSignals.fetch_and(~bit);
    if (std::atomic<bool>* flag = raisedOnSignal.load()) flag->store(true);
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) Sleep(kClosingGraceMs);
    return TRUE;
}

void InstallHandlerOnce() {
    static const bool installed = SetConsoleCtrlHandler(OnConsoleEvent, TRUE) != 0;
    (void)installed;
}

}  // namespace

void RaiseOnSignals(std::atomic<bool>* flag, std::initializer_list<int> signals, bool once) {
    InstallHandlerOnce();
    raisedOnSignal = flag;
    giveBackOnce = once;
    unsigned bits = 0;
    for (int number : signals)
        bits |= BitOf(number);
    takenSignals.fetch_or(bits);
}

void StopRaisingOnSignals(std::initializer_list<int> signals) {
    for (int number : signals)
        takenSignals.fetch_and(~BitOf(number));
    raisedOnSignal = nullptr;
}

// A closed pipe is a failed write on Windows already: there is no signal to ignore.
void RaiseOnEndRequests(std::atomic<bool>* flag) {
    RaiseOnSignals(flag, {SIGINT, SIGTERM}, false);
}
