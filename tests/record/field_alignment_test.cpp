// Aligning consecutive 60-second field blocks, and the rows the recorder makes of them.

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "record/field_alignment.h"
#include "record/field_recorder.h"

namespace {

using Signal = std::function<FieldCounts(int64_t second)>;

// Every second different from every other.
FieldCounts Distinct(int64_t second) {
    const int32_t s = static_cast<int32_t>(second);
    return {s, s * 7, s * 11, s * 13};
}

FieldCounts Constant(int64_t) {
    return {20, 300, 300, 300};
}

// A pattern that repeats every 5 s: overlaps 5 s apart all match.
FieldCounts Periodic(int64_t second) {
    return Distinct(second % 5);
}

// The block the meter holds at `newest`: samples newest-59 .. newest, oldest first.
FieldBlockCounts BlockAt(const Signal& signal, int64_t newest) {
    FieldBlockCounts block{};
    for (int k = 0; k < kFieldSamples; ++k)
        block[k] = signal(newest - (kFieldSamples - 1 - k));
    return block;
}

TEST(FieldAlignment, NewSamplesFollowTheOverlapAndTheFetchTimes) {
    struct Case {
        const char* name;
        Signal signal;
        int64_t secondsLater;   // how far the meter's block really moved
        double elapsedSeconds;  // what the fetch times say
        std::optional<int> expected;
    };
    const Case cases[] = {
        {"same block again", Distinct, 0, 0.2, 0},
        {"one new second", Distinct, 1, 1.3, 1},
        {"half a block", Distinct, 30, 29.1, 30},
        {"one sample shared", Distinct, 59, 59.4, 59},
        {"nothing shared", Distinct, 60, 60.2, std::nullopt},
        {"long away", Distinct, 300, 300.0, std::nullopt},
        {"overlap the fetch times deny", Distinct, 30, 10.0, std::nullopt},
        {"identical stretch, times decide", Constant, 13, 12.9, 13},
        {"identical stretch, other time", Constant, 31, 30.6, 31},
        {"identical stretch past the memory", Constant, 90, 90.0, std::nullopt},
        {"repeating pattern, times decide", Periodic, 30, 29.7, 30},
    };
    for (const Case& c : cases) {
        const FieldBlockCounts before = BlockAt(c.signal, 1000);
        const FieldBlockCounts after = BlockAt(c.signal, 1000 + c.secondsLater);
        EXPECT_EQ(NewSamplesAfter(before, after, c.elapsedSeconds), c.expected) << c.name;
    }
}

FieldBlockData ValuesOf(const FieldBlockCounts& counts) {
    FieldBlockData values;
    for (int k = 0; k < kFieldSamples; ++k)
        values.efSeries[k] = static_cast<float>(counts[k].ef);  // the second, to check rows
    return values;
}

TEST(FieldRecorder, EverySecondOnceAndAGapWhereNothingWasRead) {
    FieldRecorder recorder;
    std::vector<FieldRow> rows;
    // Fetches every 30 s, then the meter is away for four minutes.
    for (int64_t newest : {1000, 1030, 1061, 1090, 1330, 1360}) {
        const FieldBlockCounts counts = BlockAt(Distinct, newest);
        const int64_t steadyMs = newest * 1000 + 400;
        for (const FieldRow& row :
             recorder.AddBlock(counts, ValuesOf(counts), steadyMs, newest * 1000))
            rows.push_back(row);
    }
    ASSERT_EQ(rows.size(), 60u + 90u + 60u + 30u);
    EXPECT_EQ(recorder.Gaps(), 1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(static_cast<int64_t>(rows[i].efVm), rows[i].time) << "row " << i;
        if (i > 0 && rows[i].time != 1271) {
            EXPECT_EQ(rows[i].time, rows[i - 1].time + 1);
        }
    }
    EXPECT_EQ(rows[149].time, 1090);
    EXPECT_EQ(rows[150].time, 1271);  // the block after the gap, dated by the clock
}

TEST(FieldRecorder, ABlockDatedBeforeTheLastRowNeverRepeatsASecond) {
    FieldRecorder recorder;
    const FieldBlockCounts first = BlockAt(Distinct, 1000);
    recorder.AddBlock(first, ValuesOf(first), 1000000, 1000000);
    // Different samples (the meter restarted) while the computer's clock went back.
    const FieldBlockCounts other = BlockAt(Distinct, 5000);
    const std::vector<FieldRow> rows = recorder.AddBlock(other, ValuesOf(other), 1020000, 990000);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front().time, 1001);
}

TEST(FieldRecorder, AClockSetBackNeitherHidesAGapNorMisdatesARow) {
    struct Case {
        const char* name;
        int64_t awaySeconds;  // the meter unplugged between the second and third fetch
        int gaps;
        std::size_t rows;
    };
    const Case cases[] = {{"no gap", 0, 0, 60 + 3 * 30}, {"65 s away", 65, 1, 60 + 30 + 60 + 30}};
    for (const Case& c : cases) {
        FieldRecorder recorder;
        std::vector<FieldRow> rows;
        for (int64_t newest :
             {int64_t{1000}, int64_t{1030}, 1060 + c.awaySeconds, 1090 + c.awaySeconds}) {
            const FieldBlockCounts counts = BlockAt(Distinct, newest);
            const int64_t wall = newest > 1030 ? newest - 3600 : newest;  // set back an hour
            for (const FieldRow& row :
                 recorder.AddBlock(counts, ValuesOf(counts), newest * 1000 + 400, wall * 1000))
                rows.push_back(row);
        }
        EXPECT_EQ(recorder.Gaps(), c.gaps) << c.name;
        ASSERT_EQ(rows.size(), c.rows) << c.name;
        for (const FieldRow& row : rows)
            ASSERT_EQ(static_cast<int64_t>(row.efVm), row.time) << c.name;
    }
}

TEST(RecordingTimeline, TheFirstMomentByTheWallClockThenByTheRecordingsOwn) {
    RecordingTimeline timeline;
    // The clock's milliseconds, the wall clock (set back an hour, then set right, a second
    // off, then set back again), the time.
    // clang-format off
    const int64_t steps[][3] = {{5000, 1000700, 1000},
                                {5400, 1001100, 1001},   // not 1000
                                {7200, -2598000, 1002},
                                {9000, -2596000, 1004},
                                {10000, 9000000, 9000},
                                {11000, 9002000, 9001},  // a second ahead: its own clock
                                {12000, 1000, 9002}};
    // clang-format on
    for (const auto& s : steps)
        EXPECT_EQ(timeline.TimeAt(s[0], s[1]), s[2]) << s[0];
}

}  // namespace
