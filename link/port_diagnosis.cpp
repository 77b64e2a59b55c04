#include "link/port_diagnosis.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr const char* kDialoutGroup = "dialout";
constexpr const char* kDialoutHint =
    "hint: serial devices belong to the group dialout; add yourself with "
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
    return "hint: " + path + " belongs to user " + UserName(st.st_uid) + " and group " + group +
           " (" + ModeText(st.st_mode) + ")";
}

}  // namespace

std::string OpenFailureHint(const std::string& path, int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return PermissionHint(path);
        case EBUSY:
            return "hint: another program holds " + path +
                   " open (a second copy of this program, a terminal program, or a modem "
                   "manager that grabbed the device)";
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
