#include "link/command_frame.h"

#include <cstdio>

Bytes BuildFrame(const std::string& name, const Bytes& parameters) {
    Bytes frame;
    frame.reserve(name.size() + parameters.size() + 3);
    frame.push_back('<');
    frame.insert(frame.end(), name.begin(), name.end());
    frame.insert(frame.end(), parameters.begin(), parameters.end());
    frame.push_back('>');
    frame.push_back('>');
    return frame;
}

std::string HexString(const uint8_t* data, size_t length) {
    std::string text;
    char pair[4];
    for (size_t i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02X", data[i]);
        if (i) text += ' ';
        text += pair;
    }
    return text;
}

std::string PrintableString(const uint8_t* data, size_t length) {
    std::string text;
    for (size_t i = 0; i < length; ++i)
        text += (data[i] >= 0x20 && data[i] < 0x7F) ? static_cast<char>(data[i]) : '.';
    return text;
}
