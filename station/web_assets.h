#pragma once
// The station page's files, built into the program: no file is ever read from disk to serve
// one, and no request can name anything else.

#include <string_view>

struct WebAsset {
    std::string_view path;         // "/", "/station.js", ...
    std::string_view contentType;  // "text/html; charset=utf-8", ...
    std::string_view body;
};

// The asset served at path, or nullptr.
const WebAsset* FindWebAsset(std::string_view path);
