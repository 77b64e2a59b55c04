// The COM table's system ports on Linux: the serial devices sysfs lists, read without opening
// any of them.

#include "link/port_table.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

void PortTable::FillFromSystem(const std::string& sysRoot, const std::string& devRoot) {
    for (const std::string& path : ListSerialDevices(sysRoot, devRoot)) {
        if (NumberOf(path) == 0 && MapToFreeNumber(path) == 0) break;
    }
}

namespace {

std::string ReadFirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

// Adapters plugged in by the user rank first: they are almost always where the meter is.
int Rank(const std::string& name) {
    if (StartsWith(name, "ttyUSB")) return 0;
    if (StartsWith(name, "ttyACM")) return 1;
    return 2;
}

// A tty is a serial port when it has a device behind it. The 8250 driver registers
// placeholder ttyS ports with no UART behind them; their sysfs "type" reads 0 (PORT_UNKNOWN).
bool IsSerialPort(const fs::path& ttyDir, const std::string& name) {
    std::error_code ec;
    if (!fs::exists(ttyDir / "device", ec)) return false;
    if (StartsWith(name, "ttyS")) {
        std::string type = ReadFirstLine(ttyDir / "type");
        return !type.empty() && type != "0";
    }
    return StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM") || StartsWith(name, "ttyAMA") ||
           StartsWith(name, "ttyXRUSB") || StartsWith(name, "rfcomm");
}

}  // namespace

std::vector<std::string> ActiveConsoles(const std::string& sysRoot) {
    std::istringstream words(
        ReadFirstLine(fs::path(sysRoot) / "class" / "tty" / "console" / "active"));
    std::vector<std::string> names;
    for (std::string name; words >> name;)
        names.push_back(name);
    return names;
}

std::vector<std::string> ListSerialDevices(const std::string& sysRoot, const std::string& devRoot) {
    // The kernel's own console must never be switched to 115200 raw and sent "<GETVER>>".
    const std::vector<std::string> consoles = ActiveConsoles(sysRoot);
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(sysRoot) / "class" / "tty", ec)) {
        std::string name = entry.path().filename().string();
        if (std::find(consoles.begin(), consoles.end(), name) != consoles.end()) continue;
        if (IsSerialPort(entry.path(), name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        if (Rank(a) != Rank(b)) return Rank(a) < Rank(b);
        return NaturalLess(a, b);
    });
    std::vector<std::string> paths;
    for (const auto& name : names)
        paths.push_back((fs::path(devRoot) / name).string());
    return paths;
}

// sysfs has no such name for a tty; the device path is what Linux users know the port by.
std::string PortFriendlyName(const std::string&) {
    return {};
}
