#include "sim/history_memory.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const MeterTime kNow{2026, 12, 7, 14, 30, 0};

struct LogWalk {
    int timeStamps = 0;
    int readings = 0;
    int withSource = 0;
    uint32_t end = 0;
    std::vector<int64_t> stampSeconds;
    int boundariesInsideRecords = 0;  // block boundaries a record runs across
};

// Walks the records from the start as the program's decoder does, to the first non-record.
LogWalk Walk(const uint8_t* m) {
    LogWalk walk;
    uint32_t at = 0;
    while (at + kReadingWithSourceLength <= kHistoryBytes) {
        const uint32_t start = at;
        if (m[at] == 0x55 && m[at + 1] == 0xAA) {
            ++walk.timeStamps;
            walk.stampSeconds.push_back(MeterSeconds(
                {2000 + m[at + 2], m[at + 3], m[at + 4], m[at + 5], m[at + 6], m[at + 7]}));
            at += kTimeStampLength;
        } else if (m[at] == 0xAA && m[at + 1] == 0x55) {
            ++walk.readings;
            const bool source = m[at + 12] == 0x5A;
            walk.withSource += source;
            at += source ? kReadingWithSourceLength : kReadingLength;
        } else {
            break;
        }
        if (start / kSectorBytes != (at - 1) / kSectorBytes) ++walk.boundariesInsideRecords;
    }
    walk.end = at;
    return walk;
}

HistoryMemory Generated(uint32_t bytes) {
    HistoryMemory memory;
    FieldEnvironment environment(DefaultScene(), 7);
    WritePastSessions(memory, environment, kNow, 0, bytes);
    return memory;
}

TEST(HistoryMemory, EmfWordHoldsWholeMilligaussAndTenths) {
    EXPECT_EQ(EmfWord(18.3), 0x0123);
    EXPECT_EQ(EmfWord(0.0), 0x0000);
    EXPECT_EQ(EmfWord(0.96), 0x0010);    // rounds to 1.0
    EXPECT_EQ(EmfWord(9999.0), 0xFFF0);  // the word tops out at 4095 mG
}

TEST(HistoryMemory, RecordsAreLaidOutByteForByte) {
    HistoryMemory memory;
    ASSERT_TRUE(memory.AppendTimeStamp({2017, 12, 31, 23, 59, 59}));
    ASSERT_TRUE(memory.AppendReading({18.3, 1.0f, 1000.0f, -1}));
    ASSERT_TRUE(memory.AppendReading({0.5, 2.0f, 0.0f, 4}));
    const uint8_t expected[] = {
        0x55,
        0xAA,
        0x11,
        0x0C,
        0x1F,
        0x17,
        0x3B,
        0x3B,  // 2017-12-31 23:59:59
        0xAA,
        0x55,
        0x01,
        0x23,
        0x00,
        0x00,
        0x80,
        0x3F,
        0x00,
        0x00,
        0x7A,
        0x44,  // 18.3, 1.0,
               // 1000.0
        0xAA,
        0x55,
        0x00,
        0x05,
        0x00,
        0x00,
        0x00,
        0x40,
        0x00,
        0x00,
        0x00,
        0x00,
        0x5A,
        0x04,
    };
    EXPECT_EQ(memory.LogEnd(), sizeof expected);
    EXPECT_EQ(std::memcmp(memory.Data(), expected, sizeof expected), 0);
    EXPECT_EQ(memory.Data()[sizeof expected], kErased);
}

TEST(HistoryMemory, PastSessionsFormAWholeLogAcrossBlocks) {
    HistoryMemory memory = Generated(6 * kSectorBytes);
    LogWalk walk = Walk(memory.Data());
    EXPECT_EQ(walk.end, memory.LogEnd());
    EXPECT_GT(walk.boundariesInsideRecords, 0);
    EXPECT_GT(walk.readings, 1500);
    EXPECT_GT(walk.withSource, 0);
    EXPECT_LT(walk.withSource, walk.readings);
    // Sessions run forward in time and all lie in the ten days before now.
    for (size_t i = 1; i < walk.stampSeconds.size(); ++i)
        EXPECT_GT(walk.stampSeconds[i], walk.stampSeconds[i - 1]);
    EXPECT_GT(walk.stampSeconds.front(), MeterSeconds(kNow) - 10 * 86400);
    EXPECT_LT(walk.stampSeconds.back(), MeterSeconds(kNow));
}

// Counted as the program counts: blocks up to the first that starts 0xFF 0xFF.
TEST(HistoryMemory, LogFillsExactlyTheAskedBlocks) {
    for (uint32_t blocks : {1u, 6u, 64u, 255u, 256u}) {
        HistoryMemory memory = Generated(blocks * kSectorBytes);
        const uint8_t* m = memory.Data();
        uint32_t counted = 0;
        while (counted < kHistoryBytes / kSectorBytes &&
               !(m[counted * kSectorBytes] == 0xFF && m[counted * kSectorBytes + 1] == 0xFF))
            ++counted;
        EXPECT_EQ(counted, blocks);
        EXPECT_GT(memory.LogEnd(),
                  blocks * kSectorBytes - kReadingWithSourceLength - kTimeStampLength);
    }
}

// The program stops at a sector starting 0xFF 0xFF and retries one ending 0xBB 0xBB.
TEST(HistoryMemory, NoSectorInsideTheLogLooksErasedOrUnfinished) {
    for (uint32_t kb : {24u, 300u, 1024u}) {
        HistoryMemory memory = Generated(kb * 1024);
        const uint8_t* m = memory.Data();
        for (uint32_t a = 0; a < memory.LogEnd(); a += kSectorBytes) {
            EXPECT_FALSE(m[a] == 0xFF && m[a + 1] == 0xFF)
                << kb << " KB, sector " << a / kSectorBytes;
            EXPECT_FALSE(m[a + 4094] == 0xBB && m[a + 4095] == 0xBB)
                << kb << " KB, sector " << a / kSectorBytes;
        }
        const uint32_t next = (memory.LogEnd() + kSectorBytes - 1) / kSectorBytes * kSectorBytes;
        if (next < kHistoryBytes) {
            EXPECT_TRUE(m[next] == 0xFF && m[next + 1] == 0xFF) << kb;
        }
    }
}

TEST(HistoryMemory, FullMemoryLeavesNoRoomForAnotherReading) {
    HistoryMemory memory = Generated(kHistoryBytes);
    EXPECT_GT(memory.LogEnd(), kHistoryBytes - kReadingWithSourceLength);
    EXPECT_FALSE(memory.AppendReading({1.0, 1.0f, 1.0f, -1}));
    EXPECT_EQ(Walk(memory.Data()).end, memory.LogEnd());
}

TEST(HistoryMemory, EmptyLogStartsErased) {
    HistoryMemory memory = Generated(0);
    EXPECT_EQ(memory.LogEnd(), 0u);
    EXPECT_EQ(memory.Read(0, 2), (Bytes{0xFF, 0xFF}));
}

TEST(HistoryMemory, ReadPastTheMemoryGivesErasedBytes) {
    HistoryMemory memory = Generated(24 * 1024);
    Bytes tail = memory.Read(kHistoryBytes - 2, 4);
    EXPECT_EQ(tail, (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(HistoryMemory, ProgrammingClearsBitsAndEraseSetsTheSector) {
    HistoryMemory memory;
    memory.Program(0, {0x55, 0xAA, 0x1A, 0x01, 0x02, 0x03, 0x04, 0x05});
    EXPECT_EQ(memory.LogEnd(), 8u);  // a time stamp now starts the log
    memory.Program(2, {0xF0});
    EXPECT_EQ(memory.Data()[2], 0x10);  // 0x1A AND 0xF0: bits are only ever cleared
    memory.EraseSector(100);
    EXPECT_EQ(memory.Read(0, 3), (Bytes{0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(memory.LogEnd(), 0u);
}

TEST(HistoryMemory, ReadingNotesItsSourceWhenOneIsFoundAndEveryTenth) {
    FieldSample quiet;
    quiet.source = kSourceNone;
    FieldSample busy;
    busy.source = kSourceWifiPhone;
    EXPECT_EQ(ReadingFor(quiet, 3).source, -1);
    EXPECT_EQ(ReadingFor(quiet, 10).source, kSourceNone);
    EXPECT_EQ(ReadingFor(busy, 3).source, kSourceWifiPhone);
}

}  // namespace
