// A secret's file on POSIX: its mode says who else may use it.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "station/secret_file_system.h"

bool ReadOwnersFile(const std::string& path, size_t limit, std::string* text, std::string* error) {
    // The permissions are judged on the file opened, not on a name that may change meanwhile.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *error = std::strerror(errno);
        return false;
    }
    struct stat status {};
    bool ok = fstat(fd, &status) == 0;
    if (!ok) {
        *error = std::strerror(errno);
    } else if (!S_ISREG(status.st_mode)) {
        *error = "not a regular file";
        ok = false;
    } else if (status.st_mode & (S_IRWXG | S_IRWXO)) {
        *error = "others than its owner may use it (chmod 600 it)";
        ok = false;
    } else {
        char buffer[4096];
        ssize_t got = 0;
        while (text->size() <= limit &&
               ((got = read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)))
            if (got > 0) text->append(buffer, static_cast<size_t>(got));
        if (got < 0) {
            *error = std::strerror(errno);
            ok = false;
        }
    }
    close(fd);
    return ok;
}
