#include "terminal/terminal_log.h"

#include <cstdio>
#include <ctime>

#include "link/local_time.h"

namespace {

constexpr uint8_t kFirstPrintable = 0x20;
constexpr uint8_t kLastPrintable = 0x7E;
constexpr const char* kReceivedMark = " RX ";
constexpr const char* kSentMark = " TX ";

bool IsLineBreak(uint8_t byte) {
    return byte == '\r' || byte == '\n';
}

}  // namespace

std::string TerminalStamp(TerminalClock::time_point at) {
    const std::time_t seconds = TerminalClock::to_time_t(at);
    const std::tm local = LocalTime(seconds);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count() % 1000;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(ms < 0 ? ms + 1000 : ms));
    return text;
}

char TerminalLogChar(uint8_t byte) {
    return byte >= kFirstPrintable && byte <= kLastPrintable ? static_cast<char>(byte) : '.';
}

std::string TerminalLog::Received(const uint8_t* bytes, size_t count,
                                  TerminalClock::time_point at) {
    const std::string stamp = TerminalStamp(at) + kReceivedMark;
    std::string text;
    bool batchStarted = false;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t byte = bytes[i];
        const bool completesCrLf = afterCr_ && byte == '\n';
        afterCr_ = byte == '\r';
        if (completesCrLf) continue;
        if (!lineOpen_ || !batchStarted) {
            if (lineOpen_) text += '\n';
            text += stamp;
            lineOpen_ = true;
            batchStarted = true;
        }
        if (IsLineBreak(byte)) {
            text += '\n';
            lineOpen_ = false;
        } else {
            text += TerminalLogChar(byte);
        }
    }
    return text;
}

std::string TerminalLog::Sent(const Bytes& frame, TerminalClock::time_point at) {
    std::string text = lineOpen_ ? "\n" : "";
    text += TerminalStamp(at) + kSentMark;
    for (uint8_t byte : frame)
        text += TerminalLogChar(byte);
    text += '\n';
    lineOpen_ = false;  // a CR received before it still pairs with an LF after it
    return text;
}

void TerminalLog::Clear() {
    lineOpen_ = false;
    afterCr_ = false;
}
