// A secret's file on Windows. Who may read it is the file's access list, which a file in the
// user's own profile inherits as private; the mode bits of POSIX have no counterpart to check.

#include <windows.h>

#include "link/wide_text.h"
#include "station/secret_file_system.h"

namespace {

bool Fail(std::string* error, const std::string& why) {
    *error = why;
    return false;
}

}  // namespace

bool ReadOwnersFile(const std::string& path, size_t limit, std::string* text, std::string* error) {
    const std::wstring wide = WideFromUtf8(path);
    if (wide.empty()) return Fail(error, "not a valid file name");
    const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Fail(error, WindowsErrorText(GetLastError()));
    bool ok = GetFileType(file) == FILE_TYPE_DISK || Fail(error, "not a regular file");
    char buffer[4096];
    DWORD got = 0;
    while (ok && text->size() <= limit) {
        if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
            ok = Fail(error, WindowsErrorText(GetLastError()));
        } else if (got == 0) {
            break;
        } else {
            text->append(buffer, got);
        }
    }
    CloseHandle(file);
    return ok;
}
