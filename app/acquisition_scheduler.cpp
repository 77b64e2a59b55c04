// The main window's timers: banner, automatic scan, screen mirror and automatic fetches.

#include <QCheckBox>
#include <QTimer>

#include "app/main_dialog.h"
#include "graph/banner_wnd.h"
#include "graph/graph_window.h"
#include "link/link_flags.h"
#include "res/main_dialog_template.h"

namespace {
constexpr int kMirrorFastPeriodMs = 5;
}

void CMainDlg::SetTimer(int id, int milliseconds) {
    QTimer*& timer = timers_[id];
    if (!timer) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] { OnTimer(id); });
    }
    timer->start(milliseconds);
}

void CMainDlg::KillTimer(int id) {
    auto it = timers_.find(id);
    if (it != timers_.end()) it->second->stop();
}

bool CMainDlg::TimerArmed(int id) const {
    auto it = timers_.find(id);
    return it != timers_.end() && it->second->isActive();
}

int CMainDlg::TimerPeriod(int id) const {
    auto it = timers_.find(id);
    return it == timers_.end() ? 0 : it->second->interval();
}

void CMainDlg::StopAllTimers() {
    for (auto& [id, timer] : timers_)
        timer->stop();
}

void CMainDlg::OnTimer(int id) {
    // A scan or an exchange on this thread pumps events while it waits; the ticks that
    // would start work of their own wait for it to end, as a blocked thread would make them.
    if (busy_ && id != kTimerBanner) return;
    switch (id) {
        case kTimerMirror:
            OnMirrorTick();
            break;
        case kTimerStartScan:
            KillTimer(kTimerStartScan);
            StartAutoScan();
            break;
        case kTimerBanner:
            KillTimer(kTimerBanner);
            banner_->Present();
            break;
        case kTimerScan:
            KillTimer(kTimerScan);
            RunScan();
            break;
        case kTimerFetch:
            OnFetchTick();
            break;
        default:
            break;
    }
}

void CMainDlg::OnMirrorTick() {
    if (LinkSuspended || !DeviceConnected) return;
    if (MirrorPaused) return;
    if (!StopScreenPoll) screenPoll_->StartIfPortFree(PortNumber);
    graph_->Present();
    SetTimer(kTimerMirror, kMirrorFastPeriodMs);
}
