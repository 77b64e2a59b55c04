#pragma once
// Turns the field blocks of a recording into rows, each second once. The first block gives
// its 60 samples; every later one gives only the samples that follow the last row, found by
// aligning it on the block before. A block that does not continue the one before (the meter
// was away longer than its memory, or its samples changed) starts after a gap: the seconds
// in between were never read and get no row. The gap is measured on the recording's own
// clock, never on the computer's, which may be set back or forward meanwhile.

#include <cstdint>
#include <optional>
#include <vector>

#include "record/field_alignment.h"
#include "record/recording_timeline.h"

// One recorded second. time: seconds since the epoch (UTC).
struct FieldRow {
    int64_t time = 0;
    float xMg = 0;
    float yMg = 0;
    float zMg = 0;
    float emfMg = 0;
    float efVm = 0;
};

class FieldRecorder {
  public:
    // A whole block, its raw counts and decoded values, fetched at clockMs (a clock's
    // RecordingMs, for the time between fetches) and wallMs (its WallMs, which dates the first
    // block; see RecordingTimeline). Returns the new rows, oldest first.
    std::vector<FieldRow> AddBlock(const FieldBlockCounts& counts, const FieldBlockData& values,
                                   int64_t clockMs, int64_t wallMs);

    // Rows so far; the number of blocks that began after a gap (the first one not counted).
    int64_t Rows() const { return rows_; }
    int Gaps() const { return gaps_; }

  private:
    RecordingTimeline timeline_;
    std::optional<FieldBlockCounts> previous_;
    int64_t previousClockMs_ = 0;
    int64_t newestTime_ = 0;  // time of the previous block's newest sample
    int64_t rows_ = 0;
    int gaps_ = 0;
};
