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
    : port_(port), onFrame_(std::move(onFrame)) {}

ScreenPollThread::~ScreenPollThread() {
    Join();
}

bool ScreenPollThread::StartIfPortFree(int portNumber) {
    if (running_ || !TryTakePort()) return false;
    Join();  // the previous run has given the port back; collect its thread
    running_ = true;
    thread_ = std::thread([this, portNumber] {
        ScreenPollRun(port_, portNumber, onFrame_);
        running_ = false;
    });
    return true;
}

void ScreenPollThread::Join() {
    if (thread_.joinable()) thread_.join();
}
