#include "link/port_table.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "link/number_text.h"

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

void PortTable::Clear() {
    std::lock_guard lock(mutex_);
    for (auto& path : paths_)
        path.clear();
}

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
