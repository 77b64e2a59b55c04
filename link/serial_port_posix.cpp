// termios implementation of the serial seam.

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "link/link_timing.h"
#include "link/port_holders.h"
#include "link/serial_backend.h"

namespace serial_backend {
namespace {

speed_t SpeedFor(int baudRate) {
    switch (baudRate) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 230400:
            return B230400;
        default:
            return B115200;
    }
}

OpenResult Failure(int fd) {
    OpenResult result;
    result.error = errno;
    result.failure = PortFailureOf(errno);
    result.message = std::strerror(errno);
    if (fd >= 0) close(fd);
    return result;
}

bool ConfigureRaw8N1(int fd, int baudRate) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag &= ~(PARENB | CSTOPB | CSIZE | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(INPCK | IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, SpeedFor(baudRate));
    cfsetospeed(&tio, SpeedFor(baudRate));
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

// The errors of a device that went away: an adapter pulled, a pseudo-terminal's far end closed.
bool DeviceGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

// The kernel's own waits (poll) are real time, so the deadlines here are on the real clock.
class PosixBackend : public Backend {
  public:
    OpenResult OpenDevice(const std::string& path, int baudRate) override;
    void CloseDevice(Handle handle) override;
    int QueuedBytes(Handle handle) override;
    int PendingOutput(Handle handle) override;
    int ReadQueued(Handle handle, uint8_t* buffer, int max) override;
    WriteResult WriteOneByte(Handle handle, uint8_t value, int timeoutMs) override;
    void DiscardInput(Handle handle) override;
    WaitResult WaitReadable(Handle handle, int timeoutMs) override;
    bool HasHungUp(Handle handle) override;
};

}  // namespace

Backend& SystemBackend() {
    static PosixBackend backend;  // stateless: every call works on the handle it is given
    return backend;
}

OpenResult PosixBackend::OpenDevice(const std::string& path, int baudRate) {
    // O_NONBLOCK: an open must not wait for carrier, and reads must never wait for data.
    // O_NOCTTY: a meter must not become our controlling terminal. O_CLOEXEC: children
    // (the virtual meter started by --simulate) must not inherit the port.
    // A program that holds the port without a lock (a terminal program, a modem manager) keeps
    // it: opening it would change its line settings under it.
    if (!IsPseudoTerminal(path) && OtherProcessHolds(path)) {
        errno = EBUSY;
        return Failure(-1);
    }
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Failure(-1);
    // Exclusive like a COM port opened with share mode 0. TIOCEXCL keeps other opens out
    // (but not root's), so the advisory lock is what stops a second copy run as root.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) errno = EBUSY;
        return Failure(fd);
    }
    if (ioctl(fd, TIOCEXCL) != 0 || !ConfigureRaw8N1(fd, baudRate)) return Failure(fd);
    OpenResult result;
    result.handle = fd;
    return result;
}

void PosixBackend::CloseDevice(Handle handle) {
    if (handle < 0) return;
    int fd = static_cast<int>(handle);
    ioctl(fd, TIOCNXCL);
    flock(fd, LOCK_UN);
    close(fd);
}

int PosixBackend::QueuedBytes(Handle handle) {
    int queued = 0;
    if (ioctl(static_cast<int>(handle), FIONREAD, &queued) != 0) return 0;
    return queued > 0 ? queued : 0;
}

int PosixBackend::PendingOutput(Handle handle) {
    int pending = 0;
    if (ioctl(static_cast<int>(handle), TIOCOUTQ, &pending) != 0) return 0;
    return pending > 0 ? pending : 0;
}

int PosixBackend::ReadQueued(Handle handle, uint8_t* buffer, int max) {
    if (max <= 0) return 0;
    for (;;) {
        ssize_t n = read(static_cast<int>(handle), buffer, static_cast<size_t>(max));
        if (n > 0) return static_cast<int>(n);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && DeviceGone(errno)) return -1;
        return 0;  // nothing queued (a raw, non-blocking tty reads 0 or EAGAIN then)
    }
}

WriteResult PosixBackend::WriteOneByte(Handle handle, uint8_t value, int timeoutMs) {
    int fd = static_cast<int>(handle);
    const int64_t deadline = NowMs() + timeoutMs;
    for (;;) {
        ssize_t n = write(fd, &value, 1);
        if (n == 1) return WriteResult::Written;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN)
            return DeviceGone(errno) ? WriteResult::Gone : WriteResult::TimedOut;
        int left = static_cast<int>(deadline - NowMs());
        if (left <= 0) return WriteResult::TimedOut;
        pollfd pfd{fd, POLLOUT, 0};
        int r = poll(&pfd, 1, left);
        if (r < 0 && errno == EINTR) continue;
        if (r > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL))) return WriteResult::Gone;
        if (r <= 0) return WriteResult::TimedOut;
    }
}

void PosixBackend::DiscardInput(Handle handle) {
    // TCIFLUSH only: on a pseudo-terminal TCOFLUSH would also throw away what the far end has
    // not read yet, such as a key press another thread wrote a moment ago.
    tcflush(static_cast<int>(handle), TCIFLUSH);
}

WaitResult PosixBackend::WaitReadable(Handle handle, int timeoutMs) {
    pollfd pfd{static_cast<int>(handle), POLLIN, 0};
    const int64_t deadline = NowMs() + timeoutMs;
    for (;;) {
        int left = static_cast<int>(deadline - NowMs());
        int r = poll(&pfd, 1, left > 0 ? left : 0);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return WaitResult::Timeout;
        // A hung-up tty also reports POLLIN (its reads fail), so ask the queue.
        bool hungUp = pfd.revents & (POLLHUP | POLLERR | POLLNVAL);
        if (!hungUp || QueuedBytes(handle) > 0) return WaitResult::Readable;
        return WaitResult::HungUp;
    }
}

bool PosixBackend::HasHungUp(Handle handle) {
    pollfd pfd{static_cast<int>(handle), POLLIN, 0};
    int r;
    do {
        r = poll(&pfd, 1, 0);
    } while (r < 0 && errno == EINTR);
    return r > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL));
}

}  // namespace serial_backend

PortFailure PortFailureOf(int systemError) {
    switch (systemError) {
        case 0:
            return PortFailure::None;
        case EBUSY:
            return PortFailure::Busy;
        case ENOENT:
            return PortFailure::NoSuchPort;
        case EACCES:
        case EPERM:
            return PortFailure::NoPermission;
        case ENOTTY:
        case EINVAL:
            // The line settings of something that is no terminal cannot be set.
            return PortFailure::NotSerial;
        default:
            return serial_backend::DeviceGone(systemError) ? PortFailure::Removed
                                                           : PortFailure::Other;
    }
}
