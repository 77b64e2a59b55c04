#pragma once
// Whether another program has a serial device open. A terminal program or a modem manager
// that holds the port without an exclusive lock must not have its line switched to 115200
// and "<GETVER>>" written into it. Found on Linux through /proc (port_holders_posix.cpp); on
// Windows (port_holders_win32.cpp) the holders are not known and both calls say false.

#include <string>

// True when a process other than this one has the file at `path` open, as far as this user
// may see (other users' processes are invisible without root). Found through procRoot/*/fd.
bool OtherProcessHolds(const std::string& path, const std::string& procRoot = "/proc");

// A pseudo-terminal's device side is always held by whoever plays the far end (the virtual
// meter), so holding it says nothing about being busy.
bool IsPseudoTerminal(const std::string& path);
