#pragma once
// The meter's history memory: 1 MiB of serial flash holding its log as a stream of records.
//
//   time stamp  55 AA yy mm dd hh mi ss                           8 bytes
//   reading     AA 55 emf(2, BE) ef(float LE) rf(float LE)        12 bytes
//               ... followed by 5A code when a possible source was noted: 14 bytes
//
// The EMF word holds whole milligauss in its upper 12 bits and the tenths digit in the lower 4.
// Erased flash reads 0xFF; the log ends where the erased memory begins. Like any NOR flash,
// programming can only clear bits and erasing works on 4096-byte sectors.

#include <algorithm>
#include <cstdint>
#include <string>

#include "link/command_frame.h"
#include "sim/field_environment.h"
#include "sim/meter_clock.h"

inline constexpr uint32_t kHistoryBytes = 1u << 20;
inline constexpr uint32_t kSectorBytes = 4096;
inline constexpr uint8_t kErased = 0xFF;
inline constexpr int kTimeStampLength = 8;
inline constexpr int kReadingLength = 12;
inline constexpr int kReadingWithSourceLength = 14;

struct LogReading {
    double emfMg = 0;
    float efVm = 0;
    float rfPwCm2 = 0;
    int source = -1;  // possible-source code, -1 when none was noted
};

// The EMF word for a field: whole milligauss (up to 4095) and the tenths digit.
uint16_t EmfWord(double milligauss);

class HistoryMemory {
  public:
    HistoryMemory();

    const uint8_t* Data() const { return bytes_.data(); }

    // Where the next record goes: the end of the log.
    uint32_t LogEnd() const { return end_; }

    // Appends a record at the end of the log; false (nothing written) when it does not fit
    // below the limit.
    bool AppendTimeStamp(const MeterTime& time);
    bool AppendReading(const LogReading& reading);

    // Where appending stops; the whole memory unless set lower.
    void SetLimit(uint32_t limit) { limit_ = std::min(limit, kHistoryBytes); }

    // count bytes from address; addresses past the memory read as erased.
    Bytes Read(uint32_t address, uint32_t count) const;

    // Flash programming: each byte ANDed into the memory.
    void Program(uint32_t address, const Bytes& data);

    // Erases the 4096-byte sector holding address.
    void EraseSector(uint32_t address);

    // Erases everything.
    void EraseAll();

    // Loads a memory image (up to 1 MiB; the rest stays erased). False when unreadable.
    bool LoadImage(const std::string& path, std::string* error);

  private:
    bool Append(Bytes record);
    bool SafeAtSectorEdges(uint32_t at, const Bytes& record) const;
    void FindLogEnd();

    Bytes bytes_;
    uint32_t end_ = 0;
    uint32_t limit_ = kHistoryBytes;
};

// Fills the memory with the log of earlier measuring sessions, ending before `now`. The log
// reaches into the last 4096-byte block below targetBytes but not past it, so the memory holds
// exactly targetBytes / 4096 blocks of log before the erased ones. Readings come from the
// environment at the seconds they were taken; environmentNow is the environment's second that
// `now` stands for.
void WritePastSessions(HistoryMemory& memory, const FieldEnvironment& environment,
                       const MeterTime& now, int64_t environmentNow, uint32_t targetBytes);

// The reading the meter logs for a field sample; every tenth reading notes its source even when
// there is none, the others only when there is one.
LogReading ReadingFor(const FieldSample& sample, int64_t readingNumber);

// The meter writes a fresh time stamp after this many readings of one session.
inline constexpr int kReadingsPerTimeStamp = 600;
