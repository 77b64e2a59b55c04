#include "station/station_png.h"

#include <array>
#include <cstdint>

#include "screen/screen_frame.h"

namespace {

constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr int kRowBytes = kScreenWidth / 8 + 1;  // the filter byte, then 16 pixel bytes
constexpr uint32_t kAdlerModulus = 65521;

uint32_t Crc32(const std::string& bytes, size_t from) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = from; i < bytes.size(); ++i)
        crc = table[(crc ^ static_cast<uint8_t>(bytes[i])) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

uint32_t Adler32(const std::string& bytes) {
    uint32_t a = 1, b = 0;
    for (char c : bytes) {
        a = (a + static_cast<uint8_t>(c)) % kAdlerModulus;
        b = (b + a) % kAdlerModulus;
    }
    return b << 16 | a;
}

void PutBigEndian(std::string& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>(value >> shift & 0xFF);
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
    PutBigEndian(out, static_cast<uint32_t>(data.size()));
    const size_t typeAt = out.size();
    out += type;
    out += data;
    PutBigEndian(out, Crc32(out, typeAt));
}

// Rows top first, each led by filter 0; PNG's bit 1 is white, so ink is a clear bit.
std::string Scanlines(const ScreenPicture& screen) {
    std::string raw;
    for (int y = 0; y < kScreenHeight; ++y) {
        raw += '\0';
        for (int byteX = 0; byteX < kScreenWidth; byteX += 8) {
            uint8_t bits = 0;
            for (int k = 0; k < 8; ++k) {
                const bool ink = ScreenPixelSet(screen.data(), byteX + k, kScreenHeight - 1 - y);
                bits |= static_cast<uint8_t>(!ink) << (7 - k);
            }
            raw += static_cast<char>(bits);
        }
    }
    return raw;
}

// A zlib stream of one stored (uncompressed) block: the scanlines are 1040 bytes, under the
// 65535 a stored block may hold.
std::string StoredZlib(const std::string& raw) {
    std::string out = {0x78, 0x01, 0x01};  // deflate, 32 KB window; final stored block
    const auto length = static_cast<uint16_t>(raw.size());
    out += static_cast<char>(length & 0xFF);
    out += static_cast<char>(length >> 8);
    out += static_cast<char>(~length & 0xFF);
    out += static_cast<char>((~length >> 8) & 0xFF);
    out += raw;
    PutBigEndian(out, Adler32(raw));
    return out;
}

}  // namespace

std::string ScreenPng(const ScreenPicture& screen) {
    static_assert(kScreenHeight * kRowBytes < 65535);
    std::string header;
    PutBigEndian(header, kScreenWidth);
    PutBigEndian(header, kScreenHeight);
    header += {1, 0, 0, 0, 0};  // bit depth 1, greyscale, deflate, filter 0, no interlace
    std::string png(reinterpret_cast<const char*>(kPngSignature), sizeof kPngSignature);
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", StoredZlib(Scanlines(screen)));
    PutChunk(png, "IEND", "");
    return png;
}
