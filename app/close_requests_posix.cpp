// The signals that end the program, on POSIX: a handler may only make async-signal-safe
// calls, so it writes a byte into a pipe and a socket notifier reads it on the window's thread.

#include "app/close_requests.h"

#include <unistd.h>
#include <QSocketNotifier>

#include <fcntl.h>
#include <cerrno>
#include <csignal>

namespace {

int signalPipe[2] = {-1, -1};

void OnCloseSignal(int) {
    const char byte = 1;
    const int saved = errno;
    [[maybe_unused]] ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

std::unique_ptr<QObject> CloseOnEndRequests(QObject* window, std::function<void()> close) {
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return nullptr;
    struct sigaction action {};
    action.sa_handler = OnCloseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    auto notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, window,
                     [close = std::move(close)] {
                         char bytes[16];
                         while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
                         }
                         close();
                     });
    return notifier;
}
