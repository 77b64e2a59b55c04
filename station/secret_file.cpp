#include "station/secret_file.h"

#include "station/secret_file_system.h"

namespace {

constexpr size_t kLongestSecret = 4096;  // a token or a password, never a file's worth

bool Refuse(const std::string& path, const std::string& why, std::string* error) {
    *error = path + ": " + why;
    return false;
}

}  // namespace

bool ReadSecretFile(const std::string& path, std::string* secret, std::string* error) {
    std::string text, why;
    if (!ReadOwnersFile(path, kLongestSecret, &text, &why)) return Refuse(path, why, error);
    text = text.substr(0, text.find('\n'));
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.empty()) return Refuse(path, "holds no secret on its first line", error);
    if (text.size() > kLongestSecret) return Refuse(path, "its first line is too long", error);
    *secret = text;
    return true;
}
