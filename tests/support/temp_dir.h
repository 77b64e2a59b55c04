#pragma once
// A fresh folder under the system's temp folder, removed with everything in it at the end.

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
