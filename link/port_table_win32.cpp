// COM numbers on Windows: the system gives every port its number, and the table keeps it.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// After windows.h, whose types they use; initguid.h makes this file define the Ports class's GUID.
#include <initguid.h>

#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "link/port_table.h"

namespace {

// Where the serial drivers list the ports present: one value per port, its data "COM5".
constexpr const wchar_t* kSerialCommKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
// Value names are device object names such as "\Device\Serial0"; the registry's own bound.
constexpr DWORD kMaxValueName = 16384;
constexpr DWORD kMaxPortName = 256;

std::string Narrow(const wchar_t* text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string narrow(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), n, nullptr, nullptr);
    narrow.pop_back();  // the terminator
    return narrow;
}

// The number of "COM12", or 0 when the name is not of that form.
int ComNumberOf(const std::string& name) {
    if (name.size() < 4 || name.size() > 6 || _strnicmp(name.c_str(), "COM", 3) != 0) return 0;
    int number = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        number = number * 10 + (name[i] - '0');
    }
    return number;
}

// The port names of one open SERIALCOMM key; a value that is no string is skipped.
std::vector<std::string> PortNamesIn(HKEY key) {
    std::vector<std::string> names;
    std::wstring valueName(kMaxValueName, L'\0');
    wchar_t data[kMaxPortName + 1];
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = kMaxValueName;
        DWORD dataBytes = sizeof(data) - sizeof(wchar_t);
        DWORD type = 0;
        const LONG status = RegEnumValueW(key, index, valueName.data(), &nameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataBytes);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || type != REG_SZ) continue;  // too long for a port name
        data[dataBytes / sizeof(wchar_t)] = L'\0';  // registry strings need not be terminated
        const std::string name = Narrow(data);
        if (ComNumberOf(name) > 0) names.push_back(name);
    }
    return names;
}

}  // namespace

// The COM numbers are the system's: COM5 is COM5 here too. A port the system numbers above
// the table's range, or whose number an explicit mapping holds, takes the lowest free number
// after them, so that every port present can still be opened.
void PortTable::FillFromSystem(const std::string& sysRoot, const std::string& devRoot) {
    const std::vector<std::string> ports = ListSerialDevices(sysRoot, devRoot);
    std::vector<std::string> unplaced;
    for (const std::string& name : ports) {
        const int number = ComNumberOf(name);
        if (NumberOf(name) != 0) continue;
        if (number <= kPortCount && PathOf(number).empty())
            Map(number, name);
        else
            unplaced.push_back(name);
    }
    for (const std::string& name : unplaced)
        if (MapToFreeNumber(name) == 0) break;
}

namespace {

// A string value of an open key, or "" when it has none.
std::string RegistryText(HKEY key, const wchar_t* name) {
    wchar_t data[kMaxPortName + 1];
    DWORD bytes = sizeof(data) - sizeof(wchar_t), type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    data[bytes / sizeof(wchar_t)] = L'\0';
    return Narrow(data);
}

// The port name ("COM5") the device of the Ports class at index gives in its own key.
std::string PortNameOf(HDEVINFO devices, SP_DEVINFO_DATA* device) {
    HKEY key = SetupDiOpenDevRegKey(devices, device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return {};
    std::string name = RegistryText(key, L"PortName");
    RegCloseKey(key);
    return name;
}

std::string FriendlyNameOf(HDEVINFO devices, SP_DEVINFO_DATA* device) {
    wchar_t name[kMaxPortName + 1] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(devices, device, SPDRP_FRIENDLYNAME, nullptr,
                                           reinterpret_cast<BYTE*>(name),
                                           sizeof(name) - sizeof(wchar_t), nullptr))
        return {};
    return Narrow(name);
}

}  // namespace

// The Ports class's device whose PortName is the path's ("COM5", or "\\.\COM5").
std::string PortFriendlyName(const std::string& path) {
    const std::string port = path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path;
    if (ComNumberOf(port) == 0) return {};
    HDEVINFO devices = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) return {};
    std::string friendly;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; friendly.empty() && SetupDiEnumDeviceInfo(devices, index, &device);
         ++index)
        if (_stricmp(PortNameOf(devices, &device).c_str(), port.c_str()) == 0)
            friendly = FriendlyNameOf(devices, &device);
    SetupDiDestroyDeviceInfoList(devices);
    return friendly;
}

// The ports in SERIALCOMM as "COM5", lowest number first. sysRoot and devRoot have no meaning
// here.
std::vector<std::string> ListSerialDevices(const std::string&, const std::string&) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return {};  // no serial driver has started: no ports
    std::vector<std::string> names = PortNamesIn(key);
    RegCloseKey(key);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return ComNumberOf(a) < ComNumberOf(b);
    });
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}
