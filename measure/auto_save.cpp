#include "measure/auto_save.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "link/local_time.h"
#include "link/utf8_path.h"
#include "measure/measurement.h"
#include "measure/measurement_file.h"

namespace {

constexpr const char* kStampFormat = "%m%d%Y_%H%M%S_%ddbm";
constexpr std::size_t kStampCapacity = 32;  // at most 31 characters and the terminator

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
    std::filesystem::create_directories(Utf8Path(folder), error);  // failure shows up when writing
    std::string stamp = AutoSaveStamp(LocalTime(now));
    // The extension rule applies to the whole path, as it does for every saved file.
    std::string path = WithExtension(folder + "/" + AutoSaveBaseName(kind, stamp, threshold),
                                     kMeasurementExtension);
    return WriteMeasurementFile(path, kind, buffer) ? path : "";
}
