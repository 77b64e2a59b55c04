#include "sim/history_memory.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

constexpr uint8_t kTimeStampMarker[] = {0x55, 0xAA};
constexpr uint8_t kReadingMarker[] = {0xAA, 0x55};
constexpr uint8_t kSourceFollows = 0x5A;
// The program reads a sector as unfinished while its last two bytes are still 0xBB, and takes a
// sector that starts 0xFF 0xFF for the end of the log. The firmware never leaves either pattern
// at a sector edge inside its log.
constexpr uint8_t kReaderFill = 0xBB;
constexpr int kMaxEmfWhole = 4095;
constexpr int kSourceEveryReadings = 10;

void PutFloat(Bytes& bytes, float value) {
    uint8_t raw[4];
    std::memcpy(raw, &value, sizeof raw);  // the meter's processor is little-endian, as is this one
    bytes.insert(bytes.end(), std::begin(raw), std::end(raw));
}

Bytes ReadingRecord(const LogReading& r) {
    Bytes record(std::begin(kReadingMarker), std::end(kReadingMarker));
    const uint16_t word = EmfWord(r.emfMg);
    record.push_back(static_cast<uint8_t>(word >> 8));
    record.push_back(static_cast<uint8_t>(word & 0xFF));
    PutFloat(record, r.efVm);
    PutFloat(record, r.rfPwCm2);
    if (r.source >= 0) {
        record.push_back(kSourceFollows);
        record.push_back(static_cast<uint8_t>(r.source));
    }
    return record;
}

// A session of the past: when it began (days and seconds before now) and its readings.
struct PastSession {
    int daysAgo;
    int secondOfDay;
    int share;  // of the log, in percent; 0 for a session stopped before its first reading
};

// clang-format off
constexpr PastSession kPastSessions[] = {
    {9, 10 * 3600 + 12 * 60 + 5,  30},  // a walk through the house
    {6, 21 * 3600 + 47 * 60 + 31,  0},  // switched on and off again at once
    {6, 21 * 3600 + 48 * 60 + 2,  25},
    {2,  8 * 3600 + 30 * 60 + 44, 35},  // the bedroom overnight, cut short
    {0,  0,                        0},  // earlier today, up to now: fills what is left
};
// clang-format on

constexpr int64_t kSecondsPerDay = 86400;
constexpr int kAverageReadingLength = 13;
constexpr int64_t kTodayEndedSecondsAgo = 120;

// One session: its time stamp, then a reading a second, renewing the stamp now and then.
// environmentOffset turns meter seconds into the environment's. False once the log is full.
bool WriteSession(HistoryMemory& memory, const FieldEnvironment& environment, int64_t start,
                  int64_t readings, int64_t environmentOffset) {
    if (!memory.AppendTimeStamp(FromMeterSeconds(start))) return false;
    for (int64_t n = 0; n < readings; ++n) {
        if (n > 0 && n % kReadingsPerTimeStamp == 0 &&
            !memory.AppendTimeStamp(FromMeterSeconds(start + n)))
            return false;
        const FieldSample sample = environment.At(start + n + environmentOffset);
        if (!memory.AppendReading(ReadingFor(sample, n))) return false;
    }
    return true;
}

}  // namespace

uint16_t EmfWord(double milligauss) {
    const int tenths = static_cast<int>(std::lround(std::max(0.0, milligauss) * 10));
    const int whole = std::min(tenths / 10, kMaxEmfWhole);
    return static_cast<uint16_t>(whole << 4 | (tenths % 10));
}

HistoryMemory::HistoryMemory() : bytes_(kHistoryBytes, kErased) {}

bool HistoryMemory::AppendTimeStamp(const MeterTime& t) {
    Bytes record(std::begin(kTimeStampMarker), std::end(kTimeStampMarker));
    for (int value : {t.year % 100, t.month, t.day, t.hour, t.minute, t.second})
        record.push_back(static_cast<uint8_t>(value));
    return Append(std::move(record));
}

bool HistoryMemory::AppendReading(const LogReading& reading) {
    // Nudge the floats by the least amount until no sector edge shows a reader's pattern.
    LogReading r = reading;
    Bytes record = ReadingRecord(r);
    for (int tries = 0; tries < 8 && !SafeAtSectorEdges(end_, record); ++tries) {
        r.efVm = std::nextafter(r.efVm, 1e30f);
        r.rfPwCm2 = std::nextafter(r.rfPwCm2, 1e30f);
        record = ReadingRecord(r);
    }
    return Append(std::move(record));
}

bool HistoryMemory::SafeAtSectorEdges(uint32_t at, const Bytes& record) const {
    auto byteAt = [&](uint32_t address) {
        return address >= at && address < at + record.size() ? record[address - at]
                                                             : bytes_[address];
    };
    for (uint32_t a = at; a < at + record.size() && a + 1 < kHistoryBytes; ++a) {
        const bool sectorStart = a % kSectorBytes == 0;
        const bool sectorTail = a % kSectorBytes == kSectorBytes - 2;
        if (sectorStart && byteAt(a) == kErased && byteAt(a + 1) == kErased) return false;
        if (sectorTail && byteAt(a) == kReaderFill && byteAt(a + 1) == kReaderFill) return false;
    }
    return true;
}

bool HistoryMemory::Append(Bytes record) {
    if (end_ + record.size() > limit_) return false;
    std::copy(record.begin(), record.end(), bytes_.begin() + end_);
    end_ += static_cast<uint32_t>(record.size());
    return true;
}

Bytes HistoryMemory::Read(uint32_t address, uint32_t count) const {
    Bytes out(count, kErased);
    for (uint32_t i = 0; i < count && address + i < kHistoryBytes; ++i)
        out[i] = bytes_[address + i];
    return out;
}

void HistoryMemory::Program(uint32_t address, const Bytes& data) {
    for (size_t i = 0; i < data.size() && address + i < kHistoryBytes; ++i)
        bytes_[address + i] &= data[i];
    FindLogEnd();
}

void HistoryMemory::EraseSector(uint32_t address) {
    if (address >= kHistoryBytes) return;
    const uint32_t start = address - address % kSectorBytes;
    std::fill(bytes_.begin() + start, bytes_.begin() + start + kSectorBytes, kErased);
    FindLogEnd();
}

void HistoryMemory::EraseAll() {
    std::fill(bytes_.begin(), bytes_.end(), kErased);
    end_ = 0;
}

bool HistoryMemory::LoadImage(const std::string& path, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot read " + path;
        return false;
    }
    EraseAll();
    in.read(reinterpret_cast<char*>(bytes_.data()), kHistoryBytes);
    FindLogEnd();
    return true;
}

// The log ends at the first place that holds no record; a record is recognised by its marker.
void HistoryMemory::FindLogEnd() {
    uint32_t at = 0;
    while (at + 2 <= kHistoryBytes) {
        uint32_t length = 0;
        if (bytes_[at] == kTimeStampMarker[0] && bytes_[at + 1] == kTimeStampMarker[1]) {
            length = kTimeStampLength;
        } else if (bytes_[at] == kReadingMarker[0] && bytes_[at + 1] == kReadingMarker[1]) {
            length =
                at + kReadingLength < kHistoryBytes && bytes_[at + kReadingLength] == kSourceFollows
                    ? kReadingWithSourceLength
                    : kReadingLength;
        }
        if (length == 0 || at + length > kHistoryBytes) break;
        at += length;
    }
    end_ = at;
}

LogReading ReadingFor(const FieldSample& sample, int64_t readingNumber) {
    LogReading r;
    r.emfMg = sample.TotalMg();
    r.efVm = static_cast<float>(sample.efVm);
    r.rfPwCm2 = static_cast<float>(sample.rfPwCm2);
    if (sample.source != kSourceNone || readingNumber % kSourceEveryReadings == 0)
        r.source = sample.source;
    return r;
}

void WritePastSessions(HistoryMemory& memory, const FieldEnvironment& environment,
                       const MeterTime& now, int64_t environmentNow, uint32_t targetBytes) {
    const uint32_t target = std::min(targetBytes, kHistoryBytes);
    if (target == 0) return;
    memory.SetLimit(target);
    const int64_t nowSeconds = MeterSeconds(now);
    for (const PastSession& session : kPastSessions) {
        // The last session runs on until the log reaches its limit.
        const bool last = &session == &std::end(kPastSessions)[-1];
        const int64_t readings =
            last ? (target - memory.LogEnd()) / kReadingLength + 1
                 : int64_t{target} * session.share / 100 / kAverageReadingLength;
        int64_t start = nowSeconds - session.daysAgo * kSecondsPerDay;
        start = last ? nowSeconds - readings - kTodayEndedSecondsAgo
                     : start - start % kSecondsPerDay + session.secondOfDay;
        if (!WriteSession(memory, environment, start, readings, environmentNow - nowSeconds)) break;
    }
    memory.SetLimit(kHistoryBytes);
}
