#pragma once
// A test's changes to its own environment (HOME, TZ): each system's own calls behind one pair
// (environment_posix.cpp, environment_win32.cpp). The C library's time zone is read again after
// every change, so a new TZ counts at once.

#include <string>

void SetEnvironment(const char* name, const std::string& value);
void UnsetEnvironment(const char* name);
