#pragma once
// A folder on a file system of its own, a few kilobytes large, to fill up: a tmpfs mounted on
// a fresh temp folder and unmounted at the end. Mounting needs root; without it Mounted() is
// false and Why() says so, for the test to skip with.

#include <cstddef>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

class SmallFilesystem {
  public:
    explicit SmallFilesystem(size_t bytes);
    ~SmallFilesystem();
    SmallFilesystem(const SmallFilesystem&) = delete;
    SmallFilesystem& operator=(const SmallFilesystem&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Why() const { return why_; }
    std::string File(const std::string& name) const { return folder_.File(name); }
    std::vector<std::string> Names() const { return folder_.Names(); }

  private:
    TempDir folder_;
    bool mounted_ = false;
    std::string why_;
};
