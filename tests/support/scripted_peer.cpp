#include "tests/support/scripted_peer.h"

#include <chrono>

ScriptedPeer::ScriptedPeer(PtyPair& pty, Script script)
    : pty_(pty), script_(std::move(script)), thread_([this] { Run(); }) {}

ScriptedPeer::~ScriptedPeer() {
    running_ = false;
    thread_.join();
}

std::vector<Bytes> ScriptedPeer::Frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

void ScriptedPeer::Run() {
    Bytes pending;
    while (running_) {
        Bytes got = pty_.Read(1, 5);
        pending.insert(pending.end(), got.begin(), got.end());
        size_t start = 0;
        while (start < pending.size() && pending[start] != '<')
            ++start;
        pending.erase(pending.begin(), pending.begin() + static_cast<long>(start));
        if (pending.size() < 3 || pending[pending.size() - 1] != '>' ||
            pending[pending.size() - 2] != '>')
            continue;
        Bytes frame = pending;
        pending.clear();
        int index = 0;
        {
            std::lock_guard lock(mutex_);
            frames_.push_back(frame);
            index = static_cast<int>(frames_.size()) - 1;
        }
        ScriptedReply reply = script_(frame, index);
        // A long delay ends early when the peer goes, so tests never wait it out.
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(reply.delayMs);
        while (running_ && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (!reply.bytes.empty() && running_) pty_.Write(reply.bytes);
    }
}
