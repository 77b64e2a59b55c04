#include "sim/pseudo_terminal.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::string SystemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

bool MakeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

}  // namespace

PseudoTerminal::~PseudoTerminal() {
    if (device_ >= 0) close(device_);
    if (master_ >= 0) close(master_);
}

bool PseudoTerminal::Open(std::string* error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) {
        *error = SystemError("posix_openpt");
        return false;
    }
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        *error = SystemError("unlockpt");
        return false;
    }
    const char* name = ptsname(master_);
    if (!name) {
        *error = SystemError("ptsname");
        return false;
    }
    path_ = name;
    // Holding the device side keeps the line from hanging up between the program's opens.
    device_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (device_ < 0 || !MakeRaw(device_)) {
        *error = SystemError(path_.c_str());
        return false;
    }
    struct stat st {};
    if (fstat(device_, &st) == 0) {
        deviceFs_ = st.st_dev;
        deviceNode_ = st.st_ino;
    }
    // The meter's transmitter must never stall the meter: a full line drops bytes instead.
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    return true;
}

// /proc/locks lines read "1: FLOCK  ADVISORY  WRITE 5463 00:1a:3 0 EOF": major and minor of
// the file system in hexadecimal, then the inode.
bool PseudoTerminal::PortLocked() const {
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream words(line);
        for (std::string word; words >> word;) {
            unsigned fsMajor = 0, fsMinor = 0;
            unsigned long node = 0;
            if (std::sscanf(word.c_str(), "%x:%x:%lu", &fsMajor, &fsMinor, &node) == 3 &&
                fsMajor == major(deviceFs_) && fsMinor == minor(deviceFs_) && node == deviceNode_)
                return true;
        }
    }
    return false;
}

void PseudoTerminal::ReleaseAbandonedPort() {
    if (device_ >= 0 && deviceNode_ != 0 && !PortLocked()) ioctl(device_, TIOCNXCL);
}
