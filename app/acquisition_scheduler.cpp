// The main window's timers: banner, automatic scan, screen mirror and automatic fetches.

#include <QCheckBox>
#include <QTimer>

#include "app/main_dialog.h"
#include "graph/banner_wnd.h"
#include "graph/graph_window.h"
#include "link/meter_identity.h"
#include "link/port_guard.h"
#include "res/main_dialog_template.h"

namespace {
// The worker runs frame after frame by itself; the tick only tells it whether to, and
// nudges it after the port was lent.
constexpr int kMirrorFastPeriodMs = 50;
constexpr int kMirrorIdlePeriodMs = 100;   // paused: a resumed mirror starts within this
constexpr int kReidentifyPeriodMs = 1000;  // a lost meter is looked for once a second
}  // namespace

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
    if (closeRequested_ != CloseWay::None) return;
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

// The graph is repainted by whoever changes it; a tick only keeps the screen worker going,
// so an idle mirror costs a flag test.
void CMainDlg::OnMirrorTick() {
    if (link_.LinkLost) {
        screenPoll_->SetMirroring(false, 0);
        OnLostLinkTick();
        return;
    }
    if (link_.LinkSuspended || !link_.DeviceConnected) return;
    if (link_.MirrorPaused) {
        if (TimerPeriod(kTimerMirror) != kMirrorIdlePeriodMs)
            SetTimer(kTimerMirror, kMirrorIdlePeriodMs);
        return;
    }
    if (!link_.StopScreenPoll) screenPoll_->SetMirroring(true, link_.PortNumber);
    if (TimerPeriod(kTimerMirror) != kMirrorFastPeriodMs)
        SetTimer(kTimerMirror, kMirrorFastPeriodMs);
}

// The meter's device went away: say so where its screen was, start no run, and look for the
// same device once a second; the next working tick resumes the mirror.
void CMainDlg::OnLostLinkTick() {
    ShowLinkLost();
    if (TimerPeriod(kTimerMirror) != kReidentifyPeriodMs)
        SetTimer(kTimerMirror, kReidentifyPeriodMs);
    if (screenPoll_->Running() || !link_.PortFree()) return;
    PortGuard guard(link_);
    if (ReidentifyLostMeter(link_)) SetTimer(kTimerMirror, kMirrorFastPeriodMs);
}
