#include "link/port_holders.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

bool SameFile(const struct stat& a, const struct stat& b) {
    if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode)) return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool AllDigits(const char* name) {
    if (!*name) return false;
    for (; *name; ++name)
        if (*name < '0' || *name > '9') return false;
    return true;
}

bool ProcessHolds(const std::string& fdDir, const struct stat& target) {
    Dir dir(opendir(fdDir.c_str()));
    if (!dir) return false;  // gone, or another user's
    while (dirent* entry = readdir(dir.get())) {
        if (!AllDigits(entry->d_name)) continue;
        struct stat info {};
        if (stat((fdDir + "/" + entry->d_name).c_str(), &info) == 0 && SameFile(info, target))
            return true;
    }
    return false;
}

}  // namespace

bool OtherProcessHolds(const std::string& path, const std::string& procRoot) {
    struct stat target {};
    if (stat(path.c_str(), &target) != 0) return false;
    Dir proc(opendir(procRoot.c_str()));
    if (!proc) return false;
    const std::string self = std::to_string(getpid());
    while (dirent* entry = readdir(proc.get())) {
        if (!AllDigits(entry->d_name) || self == entry->d_name) continue;
        if (ProcessHolds(procRoot + "/" + entry->d_name + "/fd", target)) return true;
    }
    return false;
}

bool IsPseudoTerminal(const std::string& path) {
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved)) return false;
    return std::string(resolved).rfind("/dev/pts/", 0) == 0;
}
