#include "tests/support/temp_dir.h"

#include <algorithm>
#include <filesystem>

#include "link/utf8_path.h"

TempDir::TempDir() : path_(MakeUniqueTempFolder()) {}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(Utf8Path(path_), ec);
}

std::vector<std::string> TempDir::Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Utf8Path(path_)))
        names.push_back(Utf8Of(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}
