// A recording file on POSIX: one descriptor written a line at a time, fsync and fdatasync,
// and the name checked against the open file (device and inode) before each write.

#include "record/recording_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "record/recording_io.h"

bool recording_io::WriteAll(int fd, std::string_view text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void recording_io::CutBack(int fd, int64_t length) {
    if (::ftruncate(fd, static_cast<off_t>(length)) == 0)
        ::lseek(fd, static_cast<off_t>(length), SEEK_SET);
}

bool recording_io::SyncData(int fd) {
    return ::fdatasync(fd) == 0;
}

namespace {

using recording_io::WriteAll;

bool Fail(std::string* error, const char* what) {
    if (error) *error = std::string(what) + ": " + std::strerror(errno);
    return false;
}

// The new file's name survives a power cut only once its folder is synced too.
void SyncFolderOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The first `length` bytes of `from` onto the end of `to`.
bool CopyBytes(int from, int to, int64_t length) {
    char buffer[64 * 1024];
    for (int64_t at = 0; at < length;) {
        const std::size_t want = static_cast<std::size_t>(
            std::min<int64_t>(length - at, static_cast<int64_t>(sizeof buffer)));
        const ssize_t n = ::pread(from, buffer, want, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || !WriteAll(to, std::string_view(buffer, static_cast<std::size_t>(n))))
            return false;
        at += n;
    }
    return true;
}

}  // namespace

RecordingFile::~RecordingFile() {
    Close(nullptr);
}

namespace {

// A name that holds a device, FIFO or folder is never replaced.
bool IsRegularOrAbsent(const std::string& path) {
    struct stat named {};
    return ::lstat(path.c_str(), &named) != 0 || S_ISREG(named.st_mode);
}

}  // namespace

bool RecordingFile::Create(const std::string& path, const std::string& headerLine,
                           std::string* error, Existing existing) {
    const bool replace = existing == Existing::Replace;
    if (replace && !IsRegularOrAbsent(path)) {
        if (error) *error = path + ": Not a regular file";
        return false;
    }
    // A replacement is made whole beside the name and renamed over the old file at once.
    std::string made = replace ? path + ".XXXXXX" : path;
    // Read as well as written: a file deleted while recording is written again from it.
    fd_ = replace ? ::mkostemp(made.data(), O_CLOEXEC)
                  : ::open(made.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd_ < 0) return Fail(error, path.c_str());
    if (replace) ::fchmod(fd_, 0644);  // as a new file is made, not mkostemp's 0600
    if (!WriteAll(fd_, headerLine) || ::fsync(fd_) != 0 ||
        (replace && ::rename(made.c_str(), path.c_str()) != 0)) {
        Fail(error, path.c_str());
        ::close(fd_);
        fd_ = -1;
        ::unlink(made.c_str());
        return false;
    }
    length_ = static_cast<int64_t>(headerLine.size());
    path_ = path;
    nameLost_ = false;
    SyncFolderOf(path);
    return true;
}

bool RecordingFile::KeepName(std::string* error) {
    struct stat open {};
    struct stat named {};
    if (::fstat(fd_, &open) != 0) return Fail(error, path_.c_str());
    const bool exists = ::stat(path_.c_str(), &named) == 0;
    if (exists && open.st_dev == named.st_dev && open.st_ino == named.st_ino) return true;
    if (open.st_nlink == 0 && !exists) return WriteAgain(error);
    nameLost_ = true;
    if (error) *error = path_ + " is no longer the recording: it was moved or replaced";
    return false;
}

bool RecordingFile::WriteAgain(std::string* error) {
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0 && CopyBytes(fd_, fd, length_) && ::fsync(fd) == 0) {
        ::close(fd_);
        fd_ = fd;
        SyncFolderOf(path_);
        nameLost_ = false;
        notice_ = path_ + " was deleted while recording: written again with every row so far";
        return true;
    }
    nameLost_ = true;
    Fail(error, (path_ + " was deleted while recording and cannot be written again").c_str());
    if (fd >= 0) {
        ::close(fd);
        ::unlink(path_.c_str());
    }
    return false;
}

bool RecordingFile::Close(std::string* error) {
    if (fd_ < 0) return true;
    // Synced first: a moved file keeps its rows under its new name.
    const bool synced = ::fsync(fd_) == 0;
    const bool named = KeepName(error);
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!named) return false;
    if (!synced || !closed) return Fail(error, (path_ + ": cannot finish the recording").c_str());
    return true;
}
