// Temp folders on POSIX: mkdtemp picks the unique name and makes the folder in one step.

#include <cstdlib>
#include <filesystem>

#include "tests/support/temp_dir.h"

std::string MakeUniqueTempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "ferrolog-test-XXXXXX").string();
    return mkdtemp(pattern.data()) ? pattern : std::string();
}
