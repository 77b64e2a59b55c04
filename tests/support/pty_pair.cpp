#include "tests/support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

PtyPair::PtyPair() {
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master_, &heldSlave_, name, &raw, nullptr) != 0) return;
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(heldSlave_, F_SETFD, FD_CLOEXEC);
    slavePath_ = name;
}

PtyPair::~PtyPair() {
    Unplug();
}

void PtyPair::Write(const Bytes& bytes) {
    size_t done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
}

void PtyPair::Write(const std::string& text) {
    Write(Bytes(text.begin(), text.end()));
}

Bytes PtyPair::Read(int want, int timeoutMs) {
    Bytes got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (master_ >= 0 && static_cast<int>(got.size()) < want) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) break;
        pollfd pfd{master_, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left)) <= 0) break;
        uint8_t buf[8192];
        ssize_t n = read(master_, buf, sizeof buf);
        if (n <= 0) break;
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}

void PtyPair::Unplug() {
    if (heldSlave_ >= 0) close(heldSlave_);
    if (master_ >= 0) close(master_);
    heldSlave_ = master_ = -1;
}
