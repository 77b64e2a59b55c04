#pragma once
// A fresh folder under the system's temp folder, removed with everything in it at the end.
// Paths are UTF-8, as everywhere in the program.

#include <string>
#include <vector>

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // The names of the files in the folder, sorted.
    std::vector<std::string> Names() const;

  private:
    std::string path_;
};

// Makes a new, empty folder of this process's own under the system's temp folder and gives its
// path; "" when none could be made. Each system's own (temp_dir_posix.cpp, temp_dir_win32.cpp).
std::string MakeUniqueTempFolder();
