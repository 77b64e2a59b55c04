// Temp folders on Windows: a name made of the process id and a count, taken by the first
// CreateDirectoryW that succeeds; one that is there already (a process before us with the same
// id) is skipped. Wide paths throughout, so a user folder named outside ASCII works.

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "link/utf8_path.h"
#include "tests/support/temp_dir.h"

namespace {
constexpr int kAttempts = 1000;
std::atomic<unsigned> folderCount{0};
}  // namespace

std::string MakeUniqueTempFolder() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return {};
    const std::filesystem::path base(std::wstring(temp, length));
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::filesystem::path folder =
            base / (L"ferrolog-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                    std::to_wstring(folderCount++));
        if (CreateDirectoryW(folder.c_str(), nullptr)) return Utf8Of(folder);
        if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}
