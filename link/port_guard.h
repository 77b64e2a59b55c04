#pragma once
// PortGuard: the one way a user action or a fetch takes the port from the screen mirror. It
// raises StopScreenPoll so a waiting screen worker lets go at once, waits for PortFree and
// takes it with one compare-and-swap, and gives both back, in that order, on every path.
//
// Thread: the one thread that runs the action (the user-interface thread, a worker it waits
// for, or the command-line tool's only thread).

#include "link/link_flags.h"

class PortGuard {
  public:
    PortGuard() : wasStopping_(StopScreenPoll.exchange(true)) { WaitAndTakePort(); }
    ~PortGuard() {
        PortFree = true;
        StopScreenPoll = wasStopping_;
    }
    PortGuard(const PortGuard&) = delete;
    PortGuard& operator=(const PortGuard&) = delete;

  private:
    bool wasStopping_;  // a closing window keeps the mirror stopped after the action
};
