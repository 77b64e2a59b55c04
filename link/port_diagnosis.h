#pragma once
// Why a serial port could not be used, in words a user can act on, and the check that a
// --port mapping names a device at all. Each system has its own file behind these calls
// (port_diagnosis_posix.cpp, port_diagnosis_win32.cpp). A failed open's kind comes from the
// serial backend (CSerialPort::LastOpenFailure); its error number, errno on POSIX and
// GetLastError() on Windows, only gives the system's words for it.

#include <string>
#include <vector>

#include "link/port_failure.h"

// The hint for a port whose open failed, "" when there is none. One line, without a "hint: "
// lead or a line end: the caller says it once. On POSIX: for a permission failure, the dialout
// hint when the device's group is dialout and the user is not in it, otherwise the device's
// owner, group and mode; for a busy serial device, that another program holds it; for a file
// that is no serial device (busy, or refusing line settings: /dev/null), that it is none. On
// Windows: for a busy port, to close the program that holds it; for no such port, where the
// system lists its COM ports; for a file that is no serial device, that it is none.
std::string OpenFailureHint(const std::string& path, PortFailure failure);

// Adds "hint: TEXT" for the failed open of path to hints unless it is there already, so ports
// refused for one reason share one hint under the list of their reasons.
void AddOpenFailureHint(const std::string& path, PortFailure failure,
                        std::vector<std::string>* hints);

// "" when path can stand behind a COM number; otherwise "PATH: reason" (it does not exist, or
// it is not a character device; on Windows, no such COM port).
std::string PortMappingProblem(const std::string& path);

// True when a device (or any file) is there under path again: a COM port the system lists on
// Windows, anything the path names on POSIX.
bool DeviceExists(const std::string& path);

// The system's own words for an error number of a failed open, e.g. "Permission denied".
std::string SystemErrorText(int error);
