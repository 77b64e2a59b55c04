#pragma once
// Files written whole or not at all, and files read only when they are what they claim to be.
// Every job that writes a file the user named goes through WriteFileWhole, so a full disk or a
// crash never leaves a half-written file under the chosen name. Paths are UTF-8; each system
// has its own file behind these calls (whole_file_posix.cpp, whole_file_win32.cpp), and bytes
// reach and leave the disk unchanged (no line-end translation).

#include <cstddef>
#include <string>
#include <string_view>

// Writes `bytes` to a temporary file beside `path`, flushes it to disk and renames it into
// place. On failure nothing is left under `path` (an older file there is kept as it was) and
// `error` (when given) receives the system's reason, e.g. "No space left on device". A name
// that holds a device, FIFO or folder is refused ("Not a regular file") and left alone.
bool WriteFileWhole(const std::string& path, std::string_view bytes, std::string* error = nullptr);

// Reads a regular file of at most maxBytes into `bytes`. Refuses a directory, a device, a FIFO
// or a socket without reading it (so /dev/zero or a pipe never grows or blocks), and a file
// larger than maxBytes; `error` receives the reason.
bool ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string* bytes,
                     std::string* error = nullptr);

// True when the file at `path` opens for reading and writing (a read-only file does not). A
// FIFO is not waited on and a terminal is not taken as the controlling one.
bool OpensForUpdate(const std::string& path);

// Whether a file can be created beside `path` (in its folder): one is made and removed again.
// `error` receives the system's reason when it cannot.
bool CanCreateBeside(const std::string& path, std::string* error);

// A new folder only this user may use, named `prefix` and a unique ending, in the system's
// temporary folder; "" when none can be made.
std::string MakePrivateFolder(const std::string& prefix);
