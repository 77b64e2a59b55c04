#pragma once
// The terminal's two receive panes as text: every received byte adds "%02X " to the
// hexadecimal pane and the byte itself to the character pane. A pane holds at most 524287
// characters and starts over once more than half of that is filled: the text that would be
// appended then replaces the whole pane.
//
// Counting follows the edit control the panes stand for: line breaks are not counted, and
// CR and LF are line-break characters (a CR LF pair, a lone CR and a lone LF are all breaks).
// A NUL byte adds nothing to the character pane (its "%c" text ends at once) but still takes
// its turn at the start-over rule, so it empties a pane that is over half full.
// Bytes above 0x7F stay single bytes in the pane; the window shows them as Latin-1.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr size_t kTerminalPaneLimit = 524287;

// Characters that count towards the start-over rule: all but CR and LF.
size_t PaneCountedLength(std::string_view pane);

// AppendToPane: appends the text, or replaces the pane with it when the pane counts more
// than limit / 2 characters.
void AppendToPane(std::string& pane, std::string_view text, size_t limit = kTerminalPaneLimit);

// The texts one received byte adds to each pane.
std::string HexPaneText(uint8_t byte);
std::string CharacterPaneText(uint8_t byte);

struct PaneAppendResult {
    bool hexStartedOver = false;   // the hexadecimal pane was replaced, not appended to
    bool textStartedOver = false;  // the same for the character pane
};

// A batch of received bytes, with exactly the result of appending them one at a time with
// AppendToPane, in time linear in the batch (each pane is counted once per call). The window
// can mirror a pane by appending its new tail, or by setting it whole after a start-over.
// The hexadecimal pane alone, as AppendBytesToPanes does it; true when it started over.
bool AppendBytesToHexPane(std::string& hexPane, const uint8_t* bytes, size_t count,
                          size_t limit = kTerminalPaneLimit);

PaneAppendResult AppendBytesToPanes(std::string& hexPane, std::string& textPane,
                                    const uint8_t* bytes, size_t count,
                                    size_t limit = kTerminalPaneLimit);
