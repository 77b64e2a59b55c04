#include "terminal/terminal_pane.h"

#include <algorithm>

namespace {

bool IsLineBreak(char c) {
    return c == '\r' || c == '\n';
}

constexpr char kHexDigits[] = "0123456789ABCDEF";

// What one byte adds to a pane, without allocating.
struct Piece {
    char chars[3];
    size_t size;

    std::string_view Text() const { return {chars, size}; }
};

Piece HexPiece(uint8_t byte) {
    return {{kHexDigits[byte >> 4], kHexDigits[byte & 0x0F], ' '}, 3};
}

Piece CharacterPiece(uint8_t byte) {
    if (byte == 0) return {{}, 0};
    return {{static_cast<char>(byte)}, 1};
}

// Finds the last byte of the batch at which the pane starts over, by counting alone, then
// builds the pane's text once.
template <typename PieceOf>
bool AppendPieces(std::string& pane, const uint8_t* bytes, size_t count, size_t limit,
                  PieceOf pieceOf) {
    const size_t half = limit / 2;
    size_t counted = PaneCountedLength(pane);
    size_t keepFrom = 0;
    bool startedOver = false;
    for (size_t i = 0; i < count; ++i) {
        if (counted > half) {
            counted = 0;
            keepFrom = i;
            startedOver = true;
        }
        counted += PaneCountedLength(pieceOf(bytes[i]).Text());
    }
    if (startedOver) pane.clear();
    for (size_t i = keepFrom; i < count; ++i)
        pane += pieceOf(bytes[i]).Text();
    return startedOver;
}

}  // namespace

size_t PaneCountedLength(std::string_view pane) {
    return pane.size() - static_cast<size_t>(std::count_if(pane.begin(), pane.end(), IsLineBreak));
}

void AppendToPane(std::string& pane, std::string_view text, size_t limit) {
    if (PaneCountedLength(pane) > limit / 2)
        pane.assign(text);
    else
        pane += text;
}

std::string HexPaneText(uint8_t byte) {
    return std::string(HexPiece(byte).Text());
}

std::string CharacterPaneText(uint8_t byte) {
    return std::string(CharacterPiece(byte).Text());
}

bool AppendBytesToHexPane(std::string& hexPane, const uint8_t* bytes, size_t count, size_t limit) {
    return AppendPieces(hexPane, bytes, count, limit, HexPiece);
}

PaneAppendResult AppendBytesToPanes(std::string& hexPane, std::string& textPane,
                                    const uint8_t* bytes, size_t count, size_t limit) {
    PaneAppendResult result;
    result.hexStartedOver = AppendPieces(hexPane, bytes, count, limit, HexPiece);
    result.textStartedOver = AppendPieces(textPane, bytes, count, limit, CharacterPiece);
    return result;
}
