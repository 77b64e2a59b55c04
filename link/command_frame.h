#pragma once
// The meter's command frame: "<" + name + raw parameter bytes + ">>", at most 32 bytes.
// There is no length field or checksum; replies have no frame at all.

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline constexpr uint8_t kReplyTrailer = 0xAA;

Bytes BuildFrame(const std::string& name, const Bytes& parameters = {});

// Formats bytes as "3C 4B 45 59 30 3E 3E" (upper-case pairs separated by blanks).
std::string HexString(const uint8_t* data, size_t length);
inline std::string HexString(const Bytes& bytes) {
    return HexString(bytes.data(), bytes.size());
}

// Bytes as characters, with anything unprintable shown as '.'.
std::string PrintableString(const uint8_t* data, size_t length);
