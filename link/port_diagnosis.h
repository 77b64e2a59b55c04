#pragma once
// Why a serial port could not be used, in words a user can act on, and the check that a
// --port mapping names a device at all. POSIX only (device owners and groups).

#include <string>

// The hint for a port whose open failed with error (an errno value), "" when there is none:
// for a permission failure, the dialout hint when the device's group is dialout and the user
// is not in it, otherwise the device's owner, group and mode; for a busy port, that another
// program holds it. One line, without a line end.
std::string OpenFailureHint(const std::string& path, int error);

// "" when path can stand behind a COM number; otherwise "PATH: reason" (it does not exist, or
// it is not a character device).
std::string PortMappingProblem(const std::string& path);
