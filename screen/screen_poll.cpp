#include "screen/screen_poll.h"

#include "link/command_exchange.h"
#include "link/meter_identity.h"
#include "screen/screen_frame.h"

int ScreenPollRun(MeterLink& link, int portNumber, const ScreenFrameHandler& onFrame) {
    // Only an accepted frame reaches the handler; whoever keeps the mirror's frames keeps its
    // last good one.
    std::array<uint8_t, kScreenFrameSize> reply{};
    ExchangeResult result = RunExchange(link.port, kScreenPolicy, BuildFrame("GETSCREEN"),
                                        reply.data(), portNumber, &link.StopScreenPoll);
    if (result.whole && onFrame) onFrame(reply.data());
    link.GivePortBack();
    return result.attempts;
}

ScreenPollThread::ScreenPollThread(MeterLink& link, ScreenFrameHandler onFrame)
    : link_(link), onFrame_(std::move(onFrame)), thread_([this] { WorkerLoop(); }) {}

ScreenPollThread::~ScreenPollThread() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void ScreenPollThread::SetMirroring(bool on, int portNumber) {
    {
        std::lock_guard lock(mutex_);
        mirroring_ = on;
        nudged_ = true;
        portNumber_ = portNumber;
    }
    wake_.notify_all();
}

void ScreenPollThread::Join() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return !running_; });
}

void ScreenPollThread::RunOnceAndWait() {
    std::unique_lock lock(mutex_);
    if (!mirroring_ || quit_) return;
    const uint64_t request = ++asked_;
    nudged_ = true;
    wake_.notify_all();
    wake_.wait(lock, [&] { return quit_ || !mirroring_ || answered_ >= request; });
}

// The flags are read again before every run: a box or dialog that changed them needs no word
// to the worker.
bool ScreenPollThread::TakePortForRun() {
    return link_.MirrorAllowed() && link_.TryTakePort(PortHolder::Mirror);
}

void ScreenPollThread::WorkerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quit_ || (mirroring_ && nudged_); });
        if (quit_) return;
        nudged_ = false;
        const uint64_t answering = asked_;
        if (!TakePortForRun()) {  // the next nudge looks again
            answered_ = answering;
            wake_.notify_all();
            continue;
        }
        running_ = true;
        const int portNumber = portNumber_;
        lock.unlock();
        ScreenPollRun(link_, portNumber, onFrame_);
        lock.lock();
        running_ = false;
        answered_ = answering;
        nudged_ = true;      // the next frame at once
        wake_.notify_all();  // Join and RunOnceAndWait wait on the same condition
    }
}
