#include "sim/paced_output.h"

#include <gtest/gtest.h>

namespace {

// At 115200 baud and ten bits a byte, a byte takes 86.8 us.
TEST(PacedOutput, ScreenFrameTakesEightyNineMillisecondsOnTheLine) {
    PacedOutput line(kLineBytesPerSecond);
    line.Queue(Bytes(1025, 0x11), 2'000);
    EXPECT_TRUE(line.TakeDue(1'999).empty());
    EXPECT_EQ(line.TakeDue(2'000 + 869).size(), 10u);  // ten bytes take 0.868 ms
    size_t total = 10 + line.TakeDue(2'000 + 88'900).size();
    EXPECT_EQ(total, 1024u);                             // 1024 x 86.8 us = 88.89 ms
    EXPECT_EQ(line.TakeDue(2'000 + 88'980).size(), 1u);  // 1025 x 86.8 us = 88.98 ms
    EXPECT_TRUE(line.Idle());
}

TEST(PacedOutput, RepliesFollowOneAnotherWithoutOverlapping) {
    PacedOutput line(kLineBytesPerSecond);
    line.Queue(Bytes(100, 1), 0);     // on the line until 8.681 ms
    line.Queue(Bytes(10, 2), 1'000);  // ready early, but waits for the line
    Bytes got = line.TakeDue(8'681);
    EXPECT_EQ(got, Bytes(100, 1));
    EXPECT_TRUE(line.TakeDue(8'681 + 86).empty());
    got = line.TakeDue(8'681 + 868);
    EXPECT_EQ(got, Bytes(10, 2));
}

TEST(PacedOutput, NextChunkIsDueSixteenBytesOn) {
    PacedOutput line(kLineBytesPerSecond);
    EXPECT_EQ(line.NextDueUs(), INT64_MAX);
    line.Queue(Bytes(100, 0), 5'000);
    EXPECT_EQ(line.NextDueUs(), 5'000 + 1389);  // 16 x 86.8 us, rounded up
}

TEST(PacedOutput, UnpacedLineHandsOverAtReadyTime) {
    PacedOutput line(0);
    line.Queue(Bytes(4096, 7), 450);
    EXPECT_TRUE(line.TakeDue(449).empty());
    EXPECT_EQ(line.NextDueUs(), 450);
    EXPECT_EQ(line.TakeDue(450).size(), 4096u);
}

}  // namespace
