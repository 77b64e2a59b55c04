// Port diagnosis on Windows: COM ports have no owner or group to show, and who holds one cannot
// be asked; a port refused as denied or shared is almost always open in another program.

#include "link/port_diagnosis.h"

#include <windows.h>

#include "link/wide_text.h"

namespace {

constexpr const char* kDevicePrefix = "\\\\.\\";

// "COM5" from "COM5" or "\\.\COM5"; "" for anything else.
std::string ComNameOf(const std::string& path) {
    std::string name = path.rfind(kDevicePrefix, 0) == 0 ? path.substr(4) : path;
    if (name.size() < 4 || _strnicmp(name.c_str(), "COM", 3) != 0) return {};
    for (size_t i = 3; i < name.size(); ++i)
        if (name[i] < '0' || name[i] > '9') return {};
    return name;
}

}  // namespace

std::string OpenFailureHint(const std::string& path, int error) {
    switch (static_cast<DWORD>(error)) {
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return "another program may have " + path +
                   " open (a second copy of this program or a terminal program)";
        default:
            return {};
    }
}

// The system's device names list every COM port it has, whether or not one is open.
bool ComPortListed(const std::string& com) {
    wchar_t target[MAX_PATH];
    return QueryDosDeviceW(WideFromUtf8(com).c_str(), target, MAX_PATH) != 0;
}

std::string PortMappingProblem(const std::string& path) {
    const std::string com = ComNameOf(path);
    if (com.empty()) {
        const DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return path + ": " + WindowsErrorText(GetLastError());
        return path + ": not a serial device";
    }
    if (!ComPortListed(com)) return path + ": " + WindowsErrorText(GetLastError());
    return {};
}

bool DeviceExists(const std::string& path) {
    const std::string com = ComNameOf(path);
    if (!com.empty()) return ComPortListed(com);
    return GetFileAttributesW(WideFromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string SystemErrorText(int error) {
    return WindowsErrorText(static_cast<DWORD>(error));
}
