// Port diagnosis on Windows: COM ports have no owner or group to show, and who holds one cannot
// be asked; a port refused as busy is open in another program.

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

std::string OpenFailureHint(const std::string& path, PortFailure failure) {
    // A number mapped to nothing: the reason already says so, and there is no port to name.
    if (path.empty()) return {};
    const std::string com = ComNameOf(path);
    const std::string port = com.empty() ? path : com;
    switch (failure) {
        case PortFailure::Busy:
            return "another program holds " + port +
                   " open (a second copy of this program or a terminal program); close it and "
                   "try again";
        case PortFailure::NoSuchPort:
            return port +
                   " is not a port of this computer; Device Manager lists the COM ports under "
                   "Ports (COM & LPT)";
        case PortFailure::NotSerial:
            return path + " is not a serial device; a meter's port is one such as COM3";
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
