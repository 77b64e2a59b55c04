#include "station/secret_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr size_t kLongestSecret = 4096;  // a token or a password, never a file's worth

bool Refuse(const std::string& path, const std::string& why, std::string* error) {
    *error = path + ": " + why;
    return false;
}

}  // namespace

bool ReadSecretFile(const std::string& path, std::string* secret, std::string* error) {
    // The permissions are judged on the file opened, not on a name that may change meanwhile.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return Refuse(path, std::strerror(errno), error);
    struct stat status {};
    std::string text;
    bool ok = fstat(fd, &status) == 0;
    if (!ok) {
        Refuse(path, std::strerror(errno), error);
    } else if (!S_ISREG(status.st_mode)) {
        ok = Refuse(path, "not a regular file", error);
    } else if (status.st_mode & (S_IRWXG | S_IRWXO)) {
        ok = Refuse(path, "others than its owner may use it (chmod 600 it)", error);
    } else {
        char buffer[kLongestSecret + 1];
        ssize_t got = 0;
        while (text.size() <= kLongestSecret &&
               ((got = read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)))
            if (got > 0) text.append(buffer, static_cast<size_t>(got));
        if (got < 0) ok = Refuse(path, std::strerror(errno), error);
    }
    close(fd);
    if (!ok) return false;
    text = text.substr(0, text.find('\n'));
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.empty()) return Refuse(path, "holds no secret on its first line", error);
    if (text.size() > kLongestSecret) return Refuse(path, "its first line is too long", error);
    *secret = text;
    return true;
}
