#pragma once
// Helpers the fuzz targets share to cut one input into the pieces a parser takes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reads the input front to back; every take is bounded by what is left, so any input works.
class FuzzInput {
  public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }

    // Bytes up to the next `stop` byte (which is consumed) or the end.
    std::string Until(char stop) {
        std::string text;
        while (at_ < size_ && data_[at_] != static_cast<uint8_t>(stop))
            text.push_back(static_cast<char>(data_[at_++]));
        if (at_ < size_) ++at_;
        return text;
    }

    std::string Rest() {
        std::string text(reinterpret_cast<const char*>(data_ + at_), size_ - at_);
        at_ = size_;
        return text;
    }

    std::vector<uint8_t> RestBytes() {
        std::vector<uint8_t> bytes(data_ + at_, data_ + size_);
        at_ = size_;
        return bytes;
    }

    bool Done() const { return at_ >= size_; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};
