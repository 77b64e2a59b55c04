#pragma once
// PortGuard lives with the rest of the port hand-over in the link; this name stays for the
// dialogs that still include it from here.

#include "link/port_guard.h"
