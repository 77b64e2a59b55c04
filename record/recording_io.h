#pragma once
// The few descriptor calls a recording file needs that each system makes its own way
// (recording_file_posix.cpp, recording_file_win32.cpp); they set errno when they fail.

#include <cstdint>
#include <string_view>

namespace recording_io {

// Writes all of text, retrying after signals and short writes.
bool WriteAll(int fd, std::string_view text);
// Cuts the file back to length bytes and goes on writing there: only whole lines stay behind.
void CutBack(int fd, int64_t length);
// The written data on the disk.
bool SyncData(int fd);

}  // namespace recording_io
