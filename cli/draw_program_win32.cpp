// ferrolog-draw on Windows: found beside this program, run with CreateProcessW (its words
// quoted as the C runtime takes them apart), its picture read from a pipe.

#include "cli/draw_program.h"

#include <windows.h>

#include <filesystem>
#include <memory>

#include "link/utf8_path.h"
#include "link/wide_text.h"

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

std::filesystem::path ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return std::filesystem::path(path).parent_path();
        }
        path.resize(path.size() * 2);
    }
}

// One word as CommandLineToArgvW and the C runtime read it back: quoted, with the
// backslashes before a quote (or the closing one) doubled.
void AppendQuoted(const std::wstring& word, std::wstring* line) {
    line->push_back(L'"');
    size_t backslashes = 0;
    for (wchar_t c : word) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line->append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line->push_back(c);
    }
    line->append(backslashes * 2, L'\\');
    line->push_back(L'"');
}

bool ReadAll(HANDLE pipe, std::string* bytes) {
    char chunk[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(pipe, chunk, sizeof chunk, &got, nullptr))
            return GetLastError() == ERROR_BROKEN_PIPE;  // the child closed its end: all read
        if (got == 0) return true;
        bytes->append(chunk, got);
    }
}

}  // namespace

std::string DrawProgram() {
    const std::filesystem::path dir = ProgramFolder();
    if (dir.empty()) return {};
    const std::filesystem::path candidates[] = {
        dir / (std::string(FERROLOG_DRAW_FROM_BIN) + ".exe"), dir / "../app/ferrolog-draw.exe"};
    std::error_code error;
    for (const auto& candidate : candidates)
        if (std::filesystem::is_regular_file(candidate, error))
            return Utf8Of(candidate.lexically_normal());
    return {};
}

bool RunDrawProgram(const std::string& program, const std::vector<std::string>& job,
                    std::string* png) {
    if (program.empty()) return false;
    std::wstring line;
    AppendQuoted(WideFromUtf8(program), &line);
    for (const std::string& word : job) {
        line.push_back(L' ');
        AppendQuoted(WideFromUtf8(word), &line);
    }
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherited, 0)) return false;
    Handle reader(readEnd);
    Handle writer(writeEnd);
    // Only the child's end is handed down.
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    const std::wstring path = WideFromUtf8(program);
    const bool spawned = CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &child) != 0;
    writer.reset();  // the pipe ends when the child's copy closes
    if (!spawned) return false;
    Handle process(child.hProcess);
    CloseHandle(child.hThread);
    const bool read = ReadAll(readEnd, png);
    // Closed before the wait, so a child still writing after a failed read is not waited on
    // for ever.
    reader.reset();
    DWORD status = 1;
    const bool ended = WaitForSingleObject(child.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(child.hProcess, &status);
    return read && ended && status == 0;
}
