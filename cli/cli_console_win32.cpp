// The console on Windows: the UTF-16 command line, binary standard streams (the C runtime
// would turn every "\n" written into "\r\n"), and a console code page of UTF-8 for as long as
// the tool runs.

#include "cli/cli_console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <shellapi.h>  // after windows.h, whose types it uses

#include <cstdio>
#include <cstdlib>

#include "link/wide_text.h"

namespace {

UINT consoleCodePage = 0;  // the console's own, given back at exit

void GiveBackCodePage() {
    if (consoleCodePage) SetConsoleOutputCP(consoleCodePage);
}

}  // namespace

std::vector<std::string> CommandLineWords(int argc, char** argv) {
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> result;
    for (int i = 0; i < count; ++i)
        result.push_back(Utf8FromWide(words[i]));
    LocalFree(words);
    return result;
}

void PrepareStandardStreams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    consoleCodePage = GetConsoleOutputCP();
    if (consoleCodePage && consoleCodePage != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
        std::atexit(GiveBackCodePage);
}

// A console has a mode; the null device, which _isatty counts as a character device, has none.
bool StandardHandleIsConsole(DWORD which) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

bool StderrIsTerminal() {
    return StandardHandleIsConsole(STD_ERROR_HANDLE);
}

bool StdinIsTerminal() {
    return StandardHandleIsConsole(STD_INPUT_HANDLE);
}
