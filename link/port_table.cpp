#include "link/port_table.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "link/number_text.h"

namespace fs = std::filesystem;

void PortTable::Map(int comNumber, const std::string& path) {
    if (comNumber < 1 || comNumber > kPortCount) return;
    std::lock_guard lock(mutex_);
    paths_[comNumber] = path;
}

int PortTable::MapToFreeNumber(const std::string& path) {
    std::lock_guard lock(mutex_);
    for (int n = 1; n <= kPortCount; ++n)
        if (paths_[n] == path) return n;
    for (int n = 1; n <= kPortCount; ++n) {
        if (paths_[n].empty()) {
            paths_[n] = path;
            return n;
        }
    }
    return 0;
}

std::string PortTable::PathOf(int comNumber) const {
    if (comNumber < 1 || comNumber > kPortCount) return {};
    std::lock_guard lock(mutex_);
    return paths_[comNumber];
}

int PortTable::NumberOf(const std::string& path) const {
    std::lock_guard lock(mutex_);
    for (int n = 1; n <= kPortCount; ++n)
        if (!path.empty() && paths_[n] == path) return n;
    return 0;
}

void PortTable::FillFromSystem(const std::string& sysRoot, const std::string& devRoot) {
    for (const std::string& path : ListSerialDevices(sysRoot, devRoot)) {
        if (NumberOf(path) == 0 && MapToFreeNumber(path) == 0) break;
    }
}

void PortTable::Clear() {
    std::lock_guard lock(mutex_);
    for (auto& path : paths_)
        path.clear();
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

bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) &&
            std::isdigit(static_cast<unsigned char>(b[j]))) {
            size_t ie = i, je = j;
            while (ie < a.size() && std::isdigit(static_cast<unsigned char>(a[ie])))
                ++ie;
            while (je < b.size() && std::isdigit(static_cast<unsigned char>(b[je])))
                ++je;
            unsigned long long na = std::stoull(a.substr(i, std::min<size_t>(ie - i, 18)));
            unsigned long long nb = std::stoull(b.substr(j, std::min<size_t>(je - j, 18)));
            if (na != nb) return na < nb;
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

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

bool ParsePortMapping(const std::string& text, int* comNumber, std::string* path) {
    size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 >= text.size()) return false;
    std::string number = text.substr(0, eq);
    if (number.size() > 3 && (number.rfind("COM", 0) == 0 || number.rfind("com", 0) == 0))
        number = number.substr(3);
    // One or two digits, no sign or blank: "COM+1" and "COM 1" name no port.
    if (number.empty() || number.size() > 2 ||
        !std::all_of(number.begin(), number.end(), [](char c) { return std::isdigit(c); }))
        return false;
    const std::optional<int64_t> n = ParseWholeInteger(number, 1, PortTable::kPortCount);
    if (!n) return false;
    *comNumber = static_cast<int>(*n);
    *path = text.substr(eq + 1);
    return true;
}
