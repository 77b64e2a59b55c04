#include "tests/support/scripted_backend.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

using serial_backend::Handle;
using serial_backend::OpenResult;
using serial_backend::WaitResult;
using serial_backend::WriteResult;

namespace {
constexpr Handle kTheDevice = 1;
}  // namespace

void ScriptedBackend::Listen(Listener listener) {
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}

void ScriptedBackend::Play(ScriptedPeer::Script script) {
    Listen([this, script = std::move(script)](uint8_t byte, int64_t atMs) {
        Bytes frame;
        int index = 0;
        {
            std::lock_guard lock(mutex_);
            if (pendingFrame_.empty() && byte != '<') return;
            pendingFrame_.push_back(byte);
            const size_t n = pendingFrame_.size();
            if (n < 3 || pendingFrame_[n - 1] != '>' || pendingFrame_[n - 2] != '>') return;
            frame.swap(pendingFrame_);
            frames_.push_back(frame);
            index = static_cast<int>(frames_.size()) - 1;
        }
        const ScriptedReply reply = script(frame, index);
        if (!reply.bytes.empty()) Arrive(reply.bytes, atMs + reply.delayMs);
    });
}

void ScriptedBackend::Arrive(const Bytes& bytes, int64_t atMs) {
    if (bytes.empty()) return;
    std::lock_guard lock(mutex_);
    const auto later = std::upper_bound(arrivals_.begin(), arrivals_.end(), atMs,
                                        [](int64_t at, const Arrival& a) { return at < a.atMs; });
    arrivals_.insert(later, Arrival{atMs, bytes});
}

void ScriptedBackend::HangUpAt(int64_t atMs) {
    std::lock_guard lock(mutex_);
    hangUpAtMs_ = std::min(hangUpAtMs_, atMs);
}

Bytes ScriptedBackend::Written() const {
    std::lock_guard lock(mutex_);
    return written_;
}

std::vector<int64_t> ScriptedBackend::WrittenAtMs() const {
    std::lock_guard lock(mutex_);
    return writtenAtMs_;
}

std::vector<Bytes> ScriptedBackend::Frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

void ScriptedBackend::DeliverLocked() {
    const int64_t now = clock_.NowMs();
    auto due = arrivals_.begin();
    for (; due != arrivals_.end() && due->atMs <= now; ++due)
        if (open_) input_.insert(input_.end(), due->bytes.begin(), due->bytes.end());
    arrivals_.erase(arrivals_.begin(), due);
    if (GoneLocked()) input_.clear();
}

OpenResult ScriptedBackend::OpenDevice(const std::string&, int) {
    std::lock_guard lock(mutex_);
    DeliverLocked();
    OpenResult result;
    if (GoneLocked() || open_) {
        result.error = GoneLocked() ? ENOENT : EBUSY;
        result.failure = GoneLocked() ? PortFailure::NoSuchPort : PortFailure::Busy;
        result.message = std::strerror(result.error);
        return result;
    }
    open_ = true;
    result.handle = kTheDevice;
    return result;
}

void ScriptedBackend::CloseDevice(Handle) {
    std::lock_guard lock(mutex_);
    DeliverLocked();
    open_ = false;
    input_.clear();
}

int ScriptedBackend::QueuedBytes(Handle) {
    std::lock_guard lock(mutex_);
    DeliverLocked();
    return static_cast<int>(input_.size());
}

int ScriptedBackend::PendingOutput(Handle) {
    return 0;  // written bytes reach the meter at once
}

int ScriptedBackend::ReadQueued(Handle, uint8_t* buffer, int max) {
    std::lock_guard lock(mutex_);
    DeliverLocked();
    if (GoneLocked()) return -1;
    const int n = std::min(max, static_cast<int>(input_.size()));
    if (n <= 0) return 0;
    std::copy_n(input_.begin(), n, buffer);
    input_.erase(input_.begin(), input_.begin() + n);
    return n;
}

WriteResult ScriptedBackend::WriteOneByte(Handle, uint8_t value, int) {
    Listener listener;
    int64_t atMs = 0;
    {
        std::lock_guard lock(mutex_);
        if (GoneLocked()) return WriteResult::Gone;
        atMs = clock_.NowMs();
        written_.push_back(value);
        writtenAtMs_.push_back(atMs);
        listener = listener_;
    }
    if (listener) listener(value, atMs);
    return WriteResult::Written;
}

void ScriptedBackend::DiscardInput(Handle) {
    std::lock_guard lock(mutex_);
    DeliverLocked();
    input_.clear();
}

// Nothing to read: the clock moves on to whatever comes first, the next bytes due, the hang-up
// or the end of the wait.
WaitResult ScriptedBackend::WaitReadable(Handle, int timeoutMs) {
    const int64_t endMs = clock_.NowMs() + std::max(timeoutMs, 0);
    for (;;) {
        int64_t nextMs;
        {
            std::lock_guard lock(mutex_);
            DeliverLocked();
            if (!input_.empty()) return WaitResult::Readable;
            if (GoneLocked()) return WaitResult::HungUp;
            nextMs = hangUpAtMs_;
            if (!arrivals_.empty()) nextMs = std::min(nextMs, arrivals_.front().atMs);
        }
        if (nextMs > endMs) {
            clock_.AdvanceToMs(endMs);
            return WaitResult::Timeout;
        }
        clock_.AdvanceToMs(nextMs);
    }
}

bool ScriptedBackend::HasHungUp(Handle) {
    std::lock_guard lock(mutex_);
    return GoneLocked();
}
