#pragma once
// A file's whole contents for a test to compare ("" when it cannot be read).

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The same as bytes, for binary files ({} when it cannot be read).
inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    const std::string text = ReadFile(path);
    return {text.begin(), text.end()};
}
