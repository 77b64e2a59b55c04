#pragma once
// Handing a page to the user's default browser, each system's own (browser_open_posix.cpp:
// xdg-open; browser_open_win32.cpp: the shell's "open").

#include <string>

// Asks the desktop to show url; false with the reason when it said it could not. Returns within
// a few seconds whatever the desktop does, and never ends or blocks the caller's job.
bool OpenInBrowser(const std::string& url, std::string* error);
