// The terminal's log: stamps, the printable range, and where lines begin.

#include "terminal/terminal_log.h"

#include <gtest/gtest.h>

#include <ctime>

#include "tests/support/environment.h"

namespace {

TEST(TerminalLog, StampsAreLocalTimeToTheMillisecond) {
    SetEnvironment("TZ", "UTC");
    const TerminalClock::time_point at{std::chrono::milliseconds(86399999)};  // 23:59:59.999
    EXPECT_EQ(TerminalStamp(at), "23:59:59.999");
    EXPECT_EQ(TerminalStamp(TerminalClock::time_point{}), "00:00:00.000");
}

TEST(TerminalLog, OnlyPrintableAsciiShowsAsItself) {
    const std::pair<uint8_t, char> cases[] = {{0x00, '.'}, {0x1F, '.'}, {0x20, ' '}, {'A', 'A'},
                                              {0x7E, '~'}, {0x7F, '.'}, {0x80, '.'}, {0xFF, '.'}};
    for (const auto& [byte, shown] : cases)
        EXPECT_EQ(TerminalLogChar(byte), shown) << int(byte);
}

TEST(TerminalLog, ABatchAfterAClearBeginsAFreshLine) {
    SetEnvironment("TZ", "UTC");
    TerminalLog log;
    const uint8_t reply[] = {'O', 'K'};
    const TerminalClock::time_point at{};
    EXPECT_EQ(log.Received(reply, 2, at), "00:00:00.000 RX OK");
    log.Clear();
    EXPECT_EQ(log.Received(reply, 2, at), "00:00:00.000 RX OK");
    EXPECT_EQ(log.Sent({'<', 'A', '>'}, at), "\n00:00:00.000 TX <A>\n");
}

}  // namespace
