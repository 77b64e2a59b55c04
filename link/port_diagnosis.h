#pragma once
// Why a serial port could not be used, in words a user can act on, and the check that a
// --port mapping names a device at all. Each system has its own file behind these calls
// (port_diagnosis_posix.cpp, port_diagnosis_win32.cpp): an error is that system's number for
// a failed open, errno on POSIX, GetLastError() on Windows.

#include <string>
#include <vector>

// The hint for a port whose open failed with error, "" when there is none. On POSIX: for a
// permission failure, the dialout hint when the device's group is dialout and the user
// is not in it, otherwise the device's owner, group and mode; for a busy serial device, that
// another program holds it; for a file that is no serial device (busy, or refusing line
// settings: /dev/null), that it is none. One line, without a "hint: " lead or a line end: the
// caller says it once. On Windows, a port refused as in use or denied is most often held by
// another program.
std::string OpenFailureHint(const std::string& path, int error);

// Adds "hint: TEXT" for the failed open of path to hints unless it is there already, so ports
// refused for one reason share one hint under the list of their reasons.
void AddOpenFailureHint(const std::string& path, int error, std::vector<std::string>* hints);

// "" when path can stand behind a COM number; otherwise "PATH: reason" (it does not exist, or
// it is not a character device; on Windows, no such COM port).
std::string PortMappingProblem(const std::string& path);

// True when a device (or any file) is there under path again: a COM port the system lists on
// Windows, anything the path names on POSIX.
bool DeviceExists(const std::string& path);

// The system's own words for an error number of a failed open, e.g. "Permission denied".
std::string SystemErrorText(int error);
