#include "measure/auto_save.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "link/local_time.h"
#include "measure/measurement.h"
#include "measure/measurement_file.h"

namespace {

constexpr const char* kStampFormat = "%m%d%Y_%H%M%S_%ddbm";
constexpr std::size_t kStampCapacity = 32;  // at most 31 characters and the terminator
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

std::string AutoSaveBaseName(uint8_t kind, const std::string& stamp, int threshold) {
    char name[96];
    if (kind != kKindField)
        std::snprintf(name, sizeof name, "rfspectrum_%s_%ddBm", stamp.c_str(), threshold);
    else
        std::snprintf(name, sizeof name, "emf_%s", stamp.c_str());
    return name;
}

}  // namespace

std::string AutoSaveStamp(const std::tm& local) {
    char stamp[kStampCapacity];
    std::size_t length = std::strftime(stamp, sizeof stamp, kStampFormat, &local);
    return std::string(stamp, length);
}

std::string AutoSaveFileName(uint8_t kind, const std::string& stamp, int threshold) {
    return WithExtension(AutoSaveBaseName(kind, stamp, threshold), kMeasurementExtension);
}

std::string DesktopFolder() {
    std::string desktop = Environment("XDG_DESKTOP_DIR");
    if (!desktop.empty()) return WithoutTrailingSlash(desktop);
    std::string home = Environment("HOME");
    if (home.empty()) return "";
    desktop = DesktopFromUserDirs(home);
    if (desktop.empty()) desktop = home + "/Desktop";
    return WithoutTrailingSlash(desktop);
}

std::string AutoSaveFolder() {
    std::string desktop = DesktopFolder();
    if (desktop.empty()) return "";
    return desktop + "/" + kAutoSaveFolderName;
}

std::string AutoSaveMeasurement(bool enabled, uint8_t kind, std::span<const uint8_t> buffer,
                                int threshold, std::time_t now) {
    if (!enabled) return "";
    std::string folder = AutoSaveFolder();
    if (folder.empty()) return "";
    std::error_code error;
    std::filesystem::create_directories(folder, error);  // failure shows up when writing
    std::string stamp = AutoSaveStamp(LocalTime(now));
    // The extension rule applies to the whole path, as it does for every saved file.
    std::string path = WithExtension(folder + "/" + AutoSaveBaseName(kind, stamp, threshold),
                                     kMeasurementExtension);
    return WriteMeasurementFile(path, kind, buffer) ? path : "";
}
