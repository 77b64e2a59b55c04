// Port diagnosis on POSIX: the device's owner, group and mode, the kernel's tty class, errno.

#include "link/port_diagnosis.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

constexpr const char* kDialoutGroup = "dialout";
constexpr const char* kDialoutHint =
    "serial devices belong to the group dialout; add yourself with "
    "'sudo usermod -aG dialout $USER' and log in again";

bool UserInGroup(gid_t group) {
    if (getegid() == group) return true;
    const int count = getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = getgroups(count, groups.data());
    for (int i = 0; i < got; ++i)
        if (groups[static_cast<size_t>(i)] == group) return true;
    return false;
}

std::string GroupName(gid_t gid) {
    const group* g = getgrgid(gid);
    return g ? g->gr_name : std::to_string(gid);
}

std::string UserName(uid_t uid) {
    const passwd* p = getpwuid(uid);
    return p ? p->pw_name : std::to_string(uid);
}

// "rw-rw----"
std::string ModeText(mode_t mode) {
    const char* letters = "rwxrwxrwx";
    std::string text(9, '-');
    for (int i = 0; i < 9; ++i)
        if (mode & (1u << (8 - i))) text[static_cast<size_t>(i)] = letters[i];
    return text;
}

std::string PermissionHint(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return {};
    const std::string group = GroupName(st.st_gid);
    if (group == kDialoutGroup && !UserInGroup(st.st_gid)) return kDialoutHint;
    return path + " belongs to user " + UserName(st.st_uid) + " and group " + group + " (" +
           ModeText(st.st_mode) + ")";
}

// The kernel files every terminal device (serial ports among them) under the tty class. A
// device it does not list there (/dev/pts/N) is given the benefit of the doubt.
bool IsTerminalDevice(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return true;
    if (!S_ISCHR(st.st_mode)) return false;
    const std::string entry = "/sys/dev/char/" + std::to_string(major(st.st_rdev)) + ":" +
                              std::to_string(minor(st.st_rdev)) + "/subsystem";
    char target[PATH_MAX];
    if (!realpath(entry.c_str(), target)) return true;
    const std::string subsystem = target;
    return subsystem.substr(subsystem.rfind('/') + 1) == "tty";
}

std::string NotSerialHint(const std::string& path) {
    return path + " is not a serial device; a meter's port is one such as /dev/ttyUSB0 or " +
           "/dev/ttyACM0";
}

std::string BusyHint(const std::string& path) {
    return "another program holds " + path +
           " open (a second copy of this program, a terminal program, or a modem manager that "
           "grabbed the device)";
}

}  // namespace

std::string OpenFailureHint(const std::string& path, PortFailure failure) {
    switch (failure) {
        case PortFailure::NoPermission:
            return PermissionHint(path);
        case PortFailure::Busy:
            // Every process has /dev/null open: held says nothing about a file that is no port.
            return IsTerminalDevice(path) ? BusyHint(path) : NotSerialHint(path);
        case PortFailure::NotSerial:
            return NotSerialHint(path);
        default:
            return {};
    }
}

std::string PortMappingProblem(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return path + ": " + std::strerror(errno);
    if (!S_ISCHR(st.st_mode)) return path + ": not a serial device";
    return {};
}

bool DeviceExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

std::string SystemErrorText(int error) {
    return std::strerror(error);
}
