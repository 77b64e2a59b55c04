#include "tests/support/temp_dir.h"

#include <cstdlib>
#include <filesystem>

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "ferrolog-test-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}
