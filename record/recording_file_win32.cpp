// A recording file on Windows: a C library descriptor on a UTF-16 path in binary mode (the
// rows' line ends reach the disk as written), _commit for the syncs. Windows refuses to delete
// or rename a file this program holds open (it is opened without FILE_SHARE_DELETE), so the
// name cannot be lost while the recording runs.

#include "record/recording_file.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "link/wide_text.h"
#include "record/recording_io.h"

bool recording_io::WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const unsigned chunk = static_cast<unsigned>(std::min<size_t>(text.size(), 1u << 30));
        const int n = _write(fd, text.data(), chunk);
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        text.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void recording_io::CutBack(int fd, int64_t length) {
    if (_chsize_s(fd, length) == 0) _lseeki64(fd, length, SEEK_SET);
}

bool recording_io::SyncData(int fd) {
    return _commit(fd) == 0;
}

namespace {

using recording_io::WriteAll;

constexpr int kOpenFlags = _O_RDWR | _O_BINARY | _O_NOINHERIT;

bool Fail(std::string* error, const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    return false;
}

bool FailWindows(std::string* error, const std::string& what, DWORD code) {
    if (error) *error = what + ": " + WindowsErrorText(code);
    return false;
}

// Fail for the functions that hand back a descriptor.
int NoFile(std::string* error, const std::string& what) {
    Fail(error, what);
    return -1;
}

int OpenFile(const std::wstring& path, int flags) {
    int fd = -1;
    if (_wsopen_s(&fd, path.c_str(), flags, _SH_DENYNO, _S_IREAD | _S_IWRITE) != 0) return -1;
    return fd;
}

// A folder or a device (NUL, a COM port) under the name is never replaced by a file.
bool IsRegularOrAbsent(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    const HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return true;
    const bool disk = GetFileType(file) == FILE_TYPE_DISK;
    CloseHandle(file);
    return disk;
}

// The header of a replacement is made whole beside the name, then moved over the old file in
// one step; the recording goes on in the file under the name.
int ReplaceWithHeader(const std::string& path, const std::string& headerLine, std::string* error) {
    const std::wstring target = WideFromUtf8(path);
    const std::wstring made = WideFromUtf8(path + ".part-" + std::to_string(GetCurrentProcessId()));
    const int fd = OpenFile(made, kOpenFlags | _O_CREAT | _O_EXCL);
    if (fd < 0) return NoFile(error, path);
    const bool written = WriteAll(fd, headerLine) && _commit(fd) == 0;
    const int reason = errno;
    _close(fd);
    if (!written) {
        _wunlink(made.c_str());
        errno = reason;
        return NoFile(error, path);
    }
    if (!MoveFileExW(made.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD code = GetLastError();
        _wunlink(made.c_str());
        FailWindows(error, path, code);
        return -1;
    }
    const int opened = OpenFile(target, kOpenFlags);
    if (opened < 0 || _lseeki64(opened, 0, SEEK_END) < 0) {
        if (opened >= 0) _close(opened);
        return NoFile(error, path);
    }
    return opened;
}

int CreateWithHeader(const std::string& path, const std::string& headerLine, std::string* error) {
    const std::wstring target = WideFromUtf8(path);
    const int fd = OpenFile(target, kOpenFlags | _O_CREAT | _O_EXCL);
    if (fd < 0) return NoFile(error, path);
    if (!WriteAll(fd, headerLine) || _commit(fd) != 0) {
        const int reason = errno;
        _close(fd);
        _wunlink(target.c_str());
        errno = reason;
        return NoFile(error, path);
    }
    return fd;
}

}  // namespace

RecordingFile::~RecordingFile() {
    Close(nullptr);
}

bool RecordingFile::Create(const std::string& path, const std::string& headerLine,
                           std::string* error, Existing existing) {
    const std::wstring target = WideFromUtf8(path);
    if (target.empty()) {
        if (error) *error = path + ": " + WindowsErrorText(ERROR_INVALID_NAME);
        return false;
    }
    const bool replace = existing == Existing::Replace;
    if (replace && !IsRegularOrAbsent(target)) {
        if (error) *error = path + ": Not a regular file";
        return false;
    }
    fd_ = replace ? ReplaceWithHeader(path, headerLine, error)
                  : CreateWithHeader(path, headerLine, error);
    if (fd_ < 0) return false;
    length_ = static_cast<int64_t>(headerLine.size());
    path_ = path;
    nameLost_ = false;
    return true;
}

// The open file holds its name (see above).
bool RecordingFile::KeepName(std::string*) {
    return true;
}

bool RecordingFile::Close(std::string* error) {
    if (fd_ < 0) return true;
    const bool synced = _commit(fd_) == 0;
    const bool closed = _close(fd_) == 0;
    fd_ = -1;
    if (!synced || !closed) return Fail(error, path_ + ": cannot finish the recording");
    return true;
}
