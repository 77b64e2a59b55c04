#pragma once
// COM numbers. The program and its users speak of COM1 to COM32; this table says which device
// each number stands for. Explicit mappings (--port N=PATH) come first; the serial devices
// present fill the numbers left free, USB and ACM adapters before on-board ports. Finding the
// system's ports is each system's own (port_table_posix.cpp: sysfs; port_table_win32.cpp).

#include <array>
#include <mutex>
#include <string>
#include <vector>

class PortTable {
  public:
    static constexpr int kPortCount = 32;

    // Maps COM number (1..32) to a device path; an empty path unmaps it.
    void Map(int comNumber, const std::string& path);

    // Maps the path to the lowest unmapped COM number and returns it; 0 when all are taken.
    // A path that is mapped already keeps its number.
    int MapToFreeNumber(const std::string& path);

    // The device path of a COM number, or "" when nothing is mapped there.
    std::string PathOf(int comNumber) const;

    // The COM number a path is mapped to, or 0.
    int NumberOf(const std::string& path) const;

    // Fills the unmapped numbers with the serial devices found under sysRoot (sysfs), named
    // by their device nodes under devRoot. Reads sysfs only: no port is opened.
    void FillFromSystem(const std::string& sysRoot = "/sys", const std::string& devRoot = "/dev");

    void Clear();

  private:
    mutable std::mutex mutex_;
    std::array<std::string, kPortCount + 1> paths_;  // index 0 unused
};

// The serial devices present, as device paths, in the order they should take COM numbers. The
// active kernel consoles (sysRoot/class/tty/console/active) are left out.
std::vector<std::string> ListSerialDevices(const std::string& sysRoot, const std::string& devRoot);

// The name the system gives the port's device for people ("USB Serial Port (COM5)"), or ""
// when it gives none. Looks the device up only: the port is not opened.
std::string PortFriendlyName(const std::string& path);

// The tty names of the active kernel consoles, e.g. {"tty0", "ttyS0"}; none when unknown.
std::vector<std::string> ActiveConsoles(const std::string& sysRoot);

// Orders names the way people count: ttyUSB2 before ttyUSB10.
bool NaturalLess(const std::string& a, const std::string& b);

// Parses "N=PATH" as given to --port; false when it is not of that form or N is not 1..32.
bool ParsePortMapping(const std::string& text, int* comNumber, std::string* path);
