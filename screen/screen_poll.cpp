#include "screen/screen_poll.h"

#include <algorithm>

#include "link/command_exchange.h"
#include "link/link_flags.h"
#include "screen/screen_frame.h"

int ScreenPollRun(CSerialPort& port, int portNumber, const ScreenFrameHandler& onFrame) {
    // A rejected or short frame must not replace the last good one that Save Screen writes,
    // so replies land in a scratch buffer first.
    static thread_local std::array<uint8_t, kScreenFrameSize> reply;
    ExchangeResult result = RunExchange(port, kScreenPolicy, BuildFrame("GETSCREEN"), reply.data(),
                                        portNumber, &StopScreenPoll);
    if (result.whole) {
        std::copy(reply.begin(), reply.end(), ScreenFrame.begin());
        if (onFrame) onFrame(ScreenFrame.data());
    }
    PortFree = true;
    return result.attempts;
}

ScreenPollThread::ScreenPollThread(CSerialPort& port, ScreenFrameHandler onFrame)
    : port_(port), onFrame_(std::move(onFrame)), thread_([this] { WorkerLoop(); }) {}

ScreenPollThread::~ScreenPollThread() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

bool ScreenPollThread::StartIfPortFree(int portNumber) {
    if (running_ || !TryTakePort()) return false;
    {
        std::lock_guard lock(mutex_);
        running_ = true;
        runRequested_ = true;
        portNumber_ = portNumber;
    }
    wake_.notify_all();
    return true;
}

void ScreenPollThread::Join() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return !running_; });
}

void ScreenPollThread::WorkerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return runRequested_ || quit_; });
        if (runRequested_) {
            runRequested_ = false;
            const int portNumber = portNumber_;
            lock.unlock();
            ScreenPollRun(port_, portNumber, onFrame_);
            lock.lock();
            running_ = false;
            wake_.notify_all();  // Join waits on the same condition
        }
        if (quit_) return;
    }
}
