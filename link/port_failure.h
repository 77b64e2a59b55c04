#pragma once
// Why a port could not be opened, in terms every system shares. Each system's serial backend
// sorts its own error numbers into these (serial_port_posix.cpp, serial_port_win32.cpp), so
// the code above it never looks at a raw number whose meaning differs between systems.

enum class PortFailure {
    None,          // it opened
    Busy,          // another program holds it
    NoSuchPort,    // nothing is there under that name
    NoPermission,  // there, but this user may not open it
    NotSerial,     // there, but its line settings cannot be set: no serial port
    Removed,       // its device went away or does not answer
    Other,
};

// The kind of a failed open's error: errno on POSIX, GetLastError() on Windows; 0 is None.
PortFailure PortFailureOf(int systemError);
