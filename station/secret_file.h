#pragma once
// A secret from a file (the station's token, the broker's password): its first line, refused
// when the file is readable or writable by others than its owner, or empty.

#include <string>

// False with the reason (naming the file, never the secret) when the secret cannot be had.
bool ReadSecretFile(const std::string& path, std::string* secret, std::string* error);
