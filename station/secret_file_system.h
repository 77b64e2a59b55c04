#pragma once
// The system's side of ReadSecretFile (secret_file_posix.cpp, secret_file_win32.cpp).

#include <cstddef>
#include <string>

// The file's first bytes, up to one more than limit (so a longer file is seen to be longer),
// refused unless a regular file that only its owner may use; false with the reason.
bool ReadOwnersFile(const std::string& path, size_t limit, std::string* text, std::string* error);
