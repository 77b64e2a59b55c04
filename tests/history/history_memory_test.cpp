#include "history/history_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <vector>

#include "history/history_record_walk.h"
#include "history_records.h"
#include "sim/history_memory.h"

using namespace history_records;

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
    EXPECT_EQ(HistoryStoppedStatus(28672), "Download stopped. 28KB saved.");
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

namespace {

// Blocks of memory, checked in order as a download takes them: whether each is accepted.
std::vector<bool> CheckedBlocks(Memory memory) {
    memory.resize((memory.size() + kHistoryBlockSize - 1) / kHistoryBlockSize * kHistoryBlockSize,
                  0xFF);
    HistoryBlockCheck check;
    std::vector<bool> accepted;
    for (size_t at = 0; at < memory.size(); at += kHistoryBlockSize)
        accepted.push_back(check.Accept(memory.data(), at));
    return accepted;
}

// `size` bytes, erased after the records, then `tail`: a stamp, then readings holding the pairs
// 0x55 0xAA, placed so that the second block begins at such a pair inside a reading.
Memory Session(size_t records, size_t size, const Memory& tail = {}) {
    Memory m;
    AddStamp(m, 26, 3, 4, 12, 5, 6);
    AddReading(m, 0x00, 0x10, 2.0f, 3.0f);
    while (m.size() + 14 <= records)
        AddReading(m, 0x55, 0xAA, std::bit_cast<float>(0xAA55AA55u), 900.0f, 0x04);
    m.resize(size, 0xFF);
    m.insert(m.end(), tail.begin(), tail.end());
    return m;
}

}  // namespace

TEST(HistoryMemory, BlockCheckRefusesWhatCannotBeTheMetersMemory) {
    const size_t block = kHistoryBlockSize;
    struct Case {
        const char* what;
        Memory memory;
        std::vector<bool> accepted;
    };
    const Case cases[] = {
        {"across blocks", Session(2 * block + 100, 3 * block), {true, true, true}},
        {"erased", Memory(block, 0xFF), {true}},
        {"bits cleared", Memory(block, 0x00), {true}},
        {"lower-case letters", Memory(block, 'x'), {false}},
        {"letters after memory", Session(block, block, Memory(block, 'x')), {true, false}},
        {"records under half", Session(2000, 2000, Memory(block - 2000, 'x')), {false}},
        {"2056/53/172", Session(1000, 1000, {0x55, 0xAA, 56, 53, 172, 254, 192, 69}), {false}},
        {"month 0 next", Session(block - 20, block - 4, {0x55, 0xAA, 26, 0, 4}), {true, false}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CheckedBlocks(c.memory), c.accepted) << c.what;

    const std::pair<Memory, bool> stamps[] = {
        {{99, 12, 31, 23, 59, 59}, true}, {{100, 1, 1, 0, 0, 0}, false},
        {{26, 13, 1, 0, 0, 0}, false},    {{26, 1, 32, 0, 0, 0}, false},
        {{26, 1, 1, 24, 0, 0}, false},    {{26, 1, 1, 0, 60, 0}, false},
        {{26, 1, 1, 0, 0, 60}, false}};
    for (const auto& [fields, possible] : stamps)
        EXPECT_EQ(HistoryStampPossible(fields.data()), possible) << HistoryStampText(fields.data());
}

// The meter's own memory, of every scene and logs ending anywhere, is never refused.
TEST(HistoryMemory, BlockCheckAcceptsEveryBlockTheMeterMakes) {
    const MeterTime now{2026, 12, 7, 14, 30, 0};
    for (const char* scene : {"quiet", "home", "office", "powerline"})
        for (const uint32_t target : {4096u, 4106u, 40000u, 524288u, 1048576u}) {
            const FieldEnvironment environment(*FindScene(scene), target);
            HistoryMemory memory;
            WritePastSessions(memory, environment, now, 0, target);
            const std::vector<bool> accepted =
                CheckedBlocks(Memory(memory.Data(), memory.Data() + kHistoryBytes));
            EXPECT_EQ(std::count(accepted.begin(), accepted.end(), false), 0)
                << scene << " " << target;
        }
}
