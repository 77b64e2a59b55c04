#include "station/http_server.h"

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

std::string HttpRequest::Param(const std::string& name) const {
    const auto found = query.find(name);
    return found == query.end() ? std::string() : found->second;
}

std::string HttpRequest::Header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (EqualIgnoringCase(key, name)) return value;
    return {};
}
