#pragma once
// Recording files: CSV text that grows a row at a time and stays valid whenever it is cut
// off. Each line reaches the file in one write, so a killed recorder leaves whole lines;
// the file is synced to disk at least every kSyncEveryMs while rows come, so a power cut
// loses at most that much. Times are ISO 8601 local times with their UTC offset; numbers
// always have a decimal point, whatever the locale.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "link/local_time.h"  // the times of its rows
#include "measure/measurement.h"
#include "record/field_recorder.h"

inline constexpr const char* kFieldRecordingHeader = "time,x_mg,y_mg,z_mg,emf_mg,ef_vm";
// A spectrum recording's header: "time" and one column per bin, named by its frequency as
// "dbm_at_2400000000_hz". When the band changes, a new header line starts a new section.
inline constexpr const char* kSpectrumColumnPrefix = "dbm_at_";
inline constexpr const char* kSpectrumColumnSuffix = "_hz";
inline constexpr int64_t kSyncEveryMs = 5000;

// One accepted sweep: its time (seconds since the epoch), bin frequencies and levels.
struct SpectrumRow {
    int64_t time = 0;
    std::array<uint32_t, kSpectrumBins> frequencyHz{};
    SpectrumLevels dbm{};
};

// A value at the meter's resolution: three decimals after the point, "0.250". The readers
// take any number of decimals, so older files with more still read.
std::string FormatDecimal(float value);

std::string FieldCsvLine(const FieldRow& row);          // ends in "\n"
std::string SpectrumCsvHeader(const SpectrumRow& row);  // ends in "\n"
std::string SpectrumCsvLine(const SpectrumRow& row);    // ends in "\n"

// True when both sweeps have the same bin frequencies (the band did not change).
bool SameBins(const SpectrumRow& a, const SpectrumRow& b);

class RecordingFile {
  public:
    RecordingFile() = default;
    RecordingFile(const RecordingFile&) = delete;
    RecordingFile& operator=(const RecordingFile&) = delete;
    ~RecordingFile();

    // Keep refuses a file already at the path; Replace (the user said yes to replacing it)
    // puts the new one in its place once its header is on disk, never over a device or folder.
    enum class Existing { Keep, Replace };

    // Creates `path` and writes the header line. On failure leaves no new file behind (a
    // replaced one stays as it was). Every error names the path once: "rec.csv: File exists".
    bool Create(const std::string& path, const std::string& headerLine, std::string* error,
                Existing existing = Existing::Keep);

    // Appends whole lines; on a failed write the file is cut back to its last whole line.
    // Append and Close first make sure the path still names the open file: one deleted while
    // recording is written again under its name from the open one, which still holds every
    // line (TakeNotice says so); one moved or replaced fails, and NameLost() turns true.
    bool Append(const std::string& lines, int64_t nowMs, std::string* error);

    // Syncs when rows have waited kSyncEveryMs; Close syncs what is left.
    bool SyncIfDue(int64_t nowMs, std::string* error);
    bool Close(std::string* error);

    // What happened to the file that the caller should tell, once; empty when nothing did.
    std::string TakeNotice();
    bool NameLost() const { return nameLost_; }

  private:
    bool KeepName(std::string* error);
    bool WriteAgain(std::string* error);

    std::string path_;
    std::string notice_;
    bool nameLost_ = false;
    int fd_ = -1;
    int64_t length_ = 0;
    int64_t unsyncedSinceMs_ = -1;  // -1: nothing waiting
};
