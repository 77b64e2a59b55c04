// Placeholder for the Windows COM listing until it arrives: only mapped ports are known.

#include "link/port_table.h"

void PortTable::FillFromSystem(const std::string&, const std::string&) {}

std::vector<std::string> ListSerialDevices(const std::string&, const std::string&) {
    return {};
}
