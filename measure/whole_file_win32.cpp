// Whole files on Windows: UTF-16 paths, binary bytes, the new file flushed and moved over the
// old one in one step (MoveFileExW replaces it, written through to the disk).

#include "measure/whole_file.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>

#include "link/wide_text.h"

namespace {

constexpr int kUniqueNameTries = 16;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct HandleCloser {
    void operator()(HANDLE file) const { CloseHandle(file); }
};
using File = std::unique_ptr<void, HandleCloser>;

File Own(HANDLE file) {
    return File(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

bool SetError(std::string* error, DWORD code) {
    if (error) *error = WindowsErrorText(code);
    return false;
}

bool SetError(std::string* error, const char* text) {
    if (error) *error = text;
    return false;
}

// Opens an existing file or folder without asking for any access, to look at what it is.
File OpenToLookAt(const std::wstring& path) {
    return Own(CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool IsFolder(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileInformationByHandle(file, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A device (NUL, a COM port) or a folder under the name is never replaced by a file.
bool IsSpecialFile(const std::wstring& path) {
    File file = OpenToLookAt(path);
    return file && (GetFileType(file.get()) != FILE_TYPE_DISK || IsFolder(file.get()));
}

// A name beside the target, so the move stays on one volume: "PATH.part-PID-N".
std::wstring UniqueNameBeside(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return WideFromUtf8(path + ".part-" + std::to_string(GetCurrentProcessId()) + "-" +
                        std::to_string(++counter));
}

// A new file beside `path` that no other file had the name of; its name in *made.
File CreateBeside(const std::string& path, DWORD flags, std::wstring* made, DWORD* error) {
    for (int i = 0; i < kUniqueNameTries; ++i) {
        *made = UniqueNameBeside(path);
        File file =
            Own(CreateFileW(made->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, flags, nullptr));
        if (file) return file;
        *error = GetLastError();
        if (*error != ERROR_FILE_EXISTS && *error != ERROR_ALREADY_EXISTS) break;
    }
    return nullptr;
}

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) return false;
        if (written == 0) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

bool WriteFileWhole(const std::string& path, std::string_view bytes, std::string* error) {
    const std::wstring target = WideFromUtf8(path);
    if (target.empty()) return SetError(error, ERROR_INVALID_NAME);
    if (IsSpecialFile(target)) return SetError(error, "Not a regular file");
    std::wstring temporary;
    DWORD code = 0;
    File file = CreateBeside(path, FILE_ATTRIBUTE_NORMAL, &temporary, &code);
    if (!file) return SetError(error, code);
    bool ok = WriteAll(file.get(), bytes) && FlushFileBuffers(file.get());
    code = GetLastError();
    if (!CloseHandle(file.release()) && ok) {
        ok = false;
        code = GetLastError();
    }
    if (ok && !MoveFileExW(temporary.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        code = GetLastError();
    }
    if (!ok) {
        DeleteFileW(temporary.c_str());
        SetError(error, code);
    }
    return ok;
}

bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string* bytes,
                     std::string* error) {
    // Folders open too (backup semantics), so they are named as such.
    File file = Own(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return SetError(error, GetLastError());
    if (IsFolder(file.get())) return SetError(error, "Is a directory");
    if (GetFileType(file.get()) != FILE_TYPE_DISK) return SetError(error, "Not a regular file");
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return SetError(error, GetLastError());
    if (static_cast<unsigned long long>(size.QuadPart) > maxBytes)
        return SetError(error, "File too large");
    bytes->clear();
    char chunk[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr))
            return SetError(error, GetLastError());
        if (got == 0) break;
        if (bytes->size() + got > maxBytes) return SetError(error, "File too large");
        bytes->append(chunk, got);
    }
    return true;
}

bool OpensForUpdate(const std::string& path) {
    File file = Own(CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file != nullptr;
}

bool CanCreateBeside(const std::string& path, std::string* error) {
    std::wstring probe;
    DWORD code = 0;
    if (CreateBeside(path, FILE_FLAG_DELETE_ON_CLOSE, &probe, &code)) return true;
    return SetError(error, code);
}

std::string MakePrivateFolder(const std::string& prefix) {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return {};
    // The user's temporary folder is the user's alone; a folder made in it inherits that.
    const std::string base = Utf8FromWide(std::wstring_view(temp, length)) + prefix + "-";
    for (int i = 0; i < kUniqueNameTries; ++i) {
        const std::string name = base + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(GetTickCount64() + static_cast<unsigned>(i));
        if (CreateDirectoryW(WideFromUtf8(name).c_str(), nullptr)) return name;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    return {};
}
