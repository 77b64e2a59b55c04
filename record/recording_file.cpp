#include "record/recording_file.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>

#include "record/recording_io.h"

namespace {

bool Fail(std::string* error, const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
    return false;
}

}  // namespace

std::string FormatDecimal(float value) {
    constexpr int kDecimals = 3;  // the meter's resolution
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, kDecimals);
    std::string decimal(text, result.ptr);
    // A value that rounds to nothing is "0.000", never "-0.000".
    if (decimal.find_first_not_of("-0.") == std::string::npos && decimal[0] == '-')
        decimal.erase(0, 1);
    return decimal;
}

std::string FieldCsvLine(const FieldRow& row) {
    return IsoLocalTime(row.time) + ',' + FormatDecimal(row.xMg) + ',' + FormatDecimal(row.yMg) +
           ',' + FormatDecimal(row.zMg) + ',' + FormatDecimal(row.emfMg) + ',' +
           FormatDecimal(row.efVm) + '\n';
}

std::string SpectrumCsvHeader(const SpectrumRow& row) {
    std::string line = "time";
    for (uint32_t hz : row.frequencyHz)
        line +=
            std::string(",") + kSpectrumColumnPrefix + std::to_string(hz) + kSpectrumColumnSuffix;
    return line + '\n';
}

std::string SpectrumCsvLine(const SpectrumRow& row) {
    std::string line = IsoLocalTime(row.time);
    for (int8_t level : row.dbm)
        line += ',' + std::to_string(level);
    return line + '\n';
}

bool SameBins(const SpectrumRow& a, const SpectrumRow& b) {
    return a.frequencyHz == b.frequencyHz;
}

std::string RecordingFile::TakeNotice() {
    std::string notice;
    notice.swap(notice_);
    return notice;
}

bool RecordingFile::Append(const std::string& lines, int64_t nowMs, std::string* error) {
    if (lines.empty()) return true;
    if (fd_ < 0) {
        if (error) *error = path_ + ": the recording file is not open";
        return false;
    }
    if (!KeepName(error)) return false;
    if (!recording_io::WriteAll(fd_, lines)) {
        const int reason = errno;
        recording_io::CutBack(fd_, length_);
        errno = reason;
        return Fail(error, path_ + ": cannot write the recording");
    }
    length_ += static_cast<int64_t>(lines.size());
    if (unsyncedSinceMs_ < 0) unsyncedSinceMs_ = nowMs;
    return true;
}

bool RecordingFile::SyncIfDue(int64_t nowMs, std::string* error) {
    if (fd_ < 0 || unsyncedSinceMs_ < 0 || nowMs - unsyncedSinceMs_ < kSyncEveryMs) return true;
    unsyncedSinceMs_ = -1;
    if (!recording_io::SyncData(fd_)) return Fail(error, path_ + ": cannot sync the recording");
    return true;
}
