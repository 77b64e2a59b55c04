#include "history/history_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

TEST(HistoryMemory, BufferStartsZeroed) {
    EXPECT_EQ(HistoryBuffer.size(), 1048576u);
    EXPECT_TRUE(
        std::all_of(HistoryBuffer.begin(), HistoryBuffer.end(), [](uint8_t b) { return b == 0; }));
}

TEST(HistoryMemory, SpirRequestNamesTheBlockAddressBigEndian) {
    const Bytes first = {'<', 'S', 'P', 'I', 'R', 0x00, 0x00, 0x00, 0x10, 0x00, '>', '>'};
    const Bytes third = {'<', 'S', 'P', 'I', 'R', 0x00, 0x30, 0x00, 0x10, 0x00, '>', '>'};
    const Bytes last = {'<', 'S', 'P', 'I', 'R', 0x0F, 0xF0, 0x00, 0x10, 0x00, '>', '>'};
    EXPECT_EQ(SpirRequest(0), first);
    EXPECT_EQ(SpirRequest(3 * 4096), third);
    EXPECT_EQ(SpirRequest(255 * 4096), last);
}

TEST(HistoryMemory, BlockMarksTellAnIncompleteReply) {
    std::vector<uint8_t> block(kHistoryBlockSize, 0x11);
    MarkBlockUnread(block.data());
    EXPECT_EQ(std::count(block.begin(), block.end(), 0xBB), 4);
    EXPECT_EQ(block[0], 0xBB);
    EXPECT_EQ(block[1], 0xBB);
    EXPECT_EQ(block[4094], 0xBB);
    EXPECT_EQ(block[4095], 0xBB);
    EXPECT_TRUE(BlockIncomplete(block.data()));

    std::fill(block.begin(), block.begin() + 4094, 0x00);  // a reply 2 bytes short
    EXPECT_TRUE(BlockIncomplete(block.data()));
    block[4095] = 0x00;
    EXPECT_FALSE(BlockIncomplete(block.data()));
    block[4094] = 0x00;
    block[4095] = 0xBB;
    EXPECT_FALSE(BlockIncomplete(block.data()));
}

TEST(HistoryMemory, ErasedBlockBeginsWithTwoFfBytes) {
    std::vector<uint8_t> block(kHistoryBlockSize, 0x00);
    EXPECT_FALSE(BlockErased(block.data()));
    block[0] = 0xFF;
    EXPECT_FALSE(BlockErased(block.data()));
    block[1] = 0xFF;
    EXPECT_TRUE(BlockErased(block.data()));
}

TEST(HistoryMemory, DefaultNameCarriesTheLocalTime) {
    std::tm time{};
    time.tm_year = 2026 - 1900;
    time.tm_mon = 11;
    time.tm_mday = 7;
    time.tm_hour = 1;
    time.tm_min = 30;
    time.tm_sec = 0;
    EXPECT_EQ(HistoryDefaultName(time), "emfhistory_12072026_013000");
}

TEST(HistoryMemory, OutputNamesFollowTheChosenPath) {
    struct Case {
        const char* chosen;
        const char* bin;
        const char* csv;
    };
    const Case cases[] = {
        {"log", "log.bin", "log.csv"},
        {"log.csv", "log.csv.bin", "log.csv"},
        {"log.bin", "log.bin.bin", "log.bin.csv"},
        {"a.csv.csv", "a.csv.csv.bin", "a.csv"},
        {"/home/u/old.csv/log", "/home/u/old.csv/log.bin", "/home/u/old/log.csv"},
        {"log.CSV", "log.CSV.bin", "log.CSV.csv"},
        {"x.c.csvsv", "x.c.csvsv.bin", "x.csv.csv"},  // one pass, as a text replace does
    };
    for (const Case& c : cases) {
        const HistoryOutputFiles names = HistoryOutputNames(c.chosen);
        EXPECT_EQ(names.bin, c.bin) << c.chosen;
        EXPECT_EQ(names.csv, c.csv) << c.chosen;
    }
}

TEST(HistoryMemory, StatusTextsCountWholeKilobytesOfAThousandBytes) {
    EXPECT_EQ(HistoryDownloadingStatus(0), "Downloading 0KB of maximum 1MB");
    EXPECT_EQ(HistoryDownloadingStatus(4096), "Downloading 4KB of maximum 1MB");
    EXPECT_EQ(HistoryDownloadingStatus(1044480), "Downloading 1044KB of maximum 1MB");
    EXPECT_EQ(HistoryFinishedStatus(0), "Download Finished. 0KB");
    EXPECT_EQ(HistoryFinishedStatus(159744), "Download Finished. 159KB");
    EXPECT_EQ(HistoryFinishedStatus(1048576), "Download Finished. 1048KB");
    EXPECT_STREQ(kHistorySavingStatus, "Saving to file...");
    EXPECT_STREQ(kHistoryCanceledStatus, "Canceled.");
    EXPECT_STREQ(kHistoryFailedStatus, "Download Failed.");
}

TEST(HistoryMemory, ProgressIsTheTruncatedShareWithinOneToHundred) {
    struct Case {
        size_t bytes;
        int downloading, saving;
    };
    const Case cases[] = {
        {0, 1, 5},            // 0 %
        {4096, 1, 5},         // 0.390625 %
        {40960, 3, 5},        // 3.90625 %
        {159744, 15, 15},     // 15.234375 %
        {524288, 50, 50},     // 50 %
        {1044480, 99, 99},    // 99.609375 %
        {1048576, 100, 100},  // 100 %
        {2 * 1048576, 100, 100},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HistoryProgressPercent(c.bytes), c.downloading) << c.bytes;
        EXPECT_EQ(HistorySavingProgressPercent(c.bytes), c.saving) << c.bytes;
    }
}

TEST(HistoryMemory, DownloadOfferedForZtx440AndZtx8800Only) {
    for (int model = 0; model <= 6; ++model)
        EXPECT_EQ(HistoryDownloadAllowed(model), model == 4 || model == 5) << model;
}
