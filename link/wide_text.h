#pragma once
// UTF-8, the program's text everywhere, to and from the UTF-16 of the Windows "W" calls, so a
// folder or file named outside ASCII reaches the system as it was typed. Windows only
// (wide_text_win32.cpp); the POSIX files hand UTF-8 to the system as it is.

#include <string>
#include <string_view>

// Invalid UTF-8 gives an empty string: a name that cannot be said is never guessed at.
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

// The system's words for a GetLastError() value, in UTF-8, without the line end and full stop.
std::string WindowsErrorText(unsigned long error);
