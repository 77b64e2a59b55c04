#pragma once
// PortGuard: the one way a user action, a fetch or a dialog takes a link's port from the screen
// mirror. It raises StopScreenPoll so a waiting mirror run lets go at once, waits for the port
// and takes it, and gives both back, in that order, on every path.
//
// Thread: the one thread that runs the action (the user-interface thread, a worker it waits
// for, or the command-line tool's only thread).

#include "link/meter_link.h"

class PortGuard {
  public:
    explicit PortGuard(MeterLink& link, PortHolder who = PortHolder::Exchange)
        : link_(link), wasStopping_(link.StopScreenPoll.exchange(true)) {
        link_.TakePort(who);
    }
    ~PortGuard() {
        link_.GivePortBack();
        link_.StopScreenPoll = wasStopping_;
    }
    PortGuard(const PortGuard&) = delete;
    PortGuard& operator=(const PortGuard&) = delete;

  private:
    MeterLink& link_;
    bool wasStopping_;  // a closing window keeps the mirror stopped after the action
};
