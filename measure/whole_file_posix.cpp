#include "measure/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

void SetError(std::string* error, const std::string& text) {
    if (error) *error = text;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// The temporary file lives beside the target so the rename stays on one file system.
std::string TemporaryBeside(const std::string& path) {
    return path + ".part-XXXXXX";
}

// The rename would put a regular file in the place of a device, FIFO or folder (as root even
// /dev/null); such a name is refused.
bool IsSpecialFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

}  // namespace

bool WriteFileWhole(const std::string& path, std::string_view bytes, std::string* error) {
    if (IsSpecialFile(path)) {
        SetError(error, "Not a regular file");
        return false;
    }
    std::string temporary = TemporaryBeside(path);
    int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        SetError(error, std::strerror(errno));
        return false;
    }
    // mkostemp makes the file 0600; a saved file gets the usual permissions.
    mode_t mask = umask(0);
    umask(mask);
    bool ok = fchmod(fd, 0666 & ~mask) == 0 && WriteAll(fd, bytes) && fsync(fd) == 0;
    int savedErrno = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        savedErrno = errno;
    }
    if (ok && std::rename(temporary.c_str(), path.c_str()) != 0) {
        ok = false;
        savedErrno = errno;
    }
    if (!ok) {
        unlink(temporary.c_str());
        SetError(error, std::strerror(savedErrno));
    }
    return ok;
}

bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string* bytes,
                     std::string* error) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below anyway.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        SetError(error, std::strerror(errno));
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        SetError(error, S_ISDIR(info.st_mode) ? "Is a directory" : "Not a regular file");
        close(fd);
        return false;
    }
    if (static_cast<std::size_t>(info.st_size) > maxBytes) {
        SetError(error, "File too large");
        close(fd);
        return false;
    }
    bytes->clear();
    char chunk[65536];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            SetError(error, std::strerror(errno));
            close(fd);
            return false;
        }
        if (n == 0) break;
        if (bytes->size() + static_cast<size_t>(n) > maxBytes) {  // grew while we read
            SetError(error, "File too large");
            close(fd);
            return false;
        }
        bytes->append(chunk, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

bool OpensForUpdate(const std::string& path) {
    const int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    close(fd);
    return true;
}

bool CanCreateBeside(const std::string& path, std::string* error) {
    std::string probe = TemporaryBeside(path);
    const int fd = mkostemp(probe.data(), O_CLOEXEC);
    if (fd < 0) {
        SetError(error, std::strerror(errno));
        return false;
    }
    close(fd);
    unlink(probe.c_str());
    return true;
}

std::string MakePrivateFolder(const std::string& prefix) {
    std::error_code error;
    std::string pattern =
        (std::filesystem::temp_directory_path(error) / (prefix + "-XXXXXX")).string();
    if (error || !mkdtemp(pattern.data())) return {};
    return pattern;
}
