// The desktop folder on POSIX desktops: the XDG user directories.

#include "measure/auto_save.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string_view>

namespace {

constexpr std::string_view kDesktopKey = "XDG_DESKTOP_DIR=";
constexpr std::string_view kHomeVariable = "$HOME";

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string UserDirsFile(const std::string& home) {
    std::string config = Environment("XDG_CONFIG_HOME");
    if (config.empty()) config = home + "/.config";
    return config + "/user-dirs.dirs";
}

// The value of an XDG_DESKTOP_DIR="..." line: an absolute path or one under $HOME.
std::string DesktopFromLine(std::string_view line, const std::string& home) {
    line.remove_prefix(std::min(line.find_first_not_of(" \t"), line.size()));
    if (!line.starts_with(kDesktopKey)) return "";
    line.remove_prefix(kDesktopKey.size());
    if (line.starts_with('"')) line = line.substr(1, line.find('"', 1) - 1);
    if (line.starts_with(kHomeVariable))
        return home + std::string(line.substr(kHomeVariable.size()));
    if (line.starts_with('/')) return std::string(line);
    return "";
}

std::string DesktopFromUserDirs(const std::string& home) {
    std::ifstream file(UserDirsFile(home));
    std::string line, desktop;
    while (std::getline(file, line)) {
        std::string found = DesktopFromLine(line, home);
        if (!found.empty()) desktop = found;  // the last setting wins, as when sourced
    }
    return desktop;
}

}  // namespace

std::string DesktopFolder() {
    std::string desktop = Environment("XDG_DESKTOP_DIR");
    if (!desktop.empty()) return WithoutTrailingSlash(desktop);
    std::string home = Environment("HOME");
    if (home.empty()) return "";
    desktop = DesktopFromUserDirs(home);
    if (desktop.empty()) desktop = home + "/Desktop";
    return WithoutTrailingSlash(desktop);
}
