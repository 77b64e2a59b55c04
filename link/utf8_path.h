#pragma once
// File names are UTF-8 strings everywhere in the program. std::filesystem reads a plain string
// in the system's narrow encoding, which on Windows is the ANSI code page, not UTF-8: every
// path handed to std::filesystem or a file stream goes through these two.

#include <filesystem>
#include <string>
#include <string_view>

inline std::filesystem::path Utf8Path(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string Utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Removes the file (or empty folder) at a UTF-8 path; one that is not there is no error.
inline void RemoveFile(const std::string& path) {
    std::error_code error;
    std::filesystem::remove(Utf8Path(path), error);
}
