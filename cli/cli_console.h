#pragma once
// The tool's side of the console, each system's own (cli_console_posix.cpp,
// cli_console_win32.cpp): the command line's words in UTF-8, the program's text everywhere,
// and standard output carrying a job's bytes unchanged (a PNG, a CSV's CR LF line ends).

#include <string>
#include <vector>

// The words of the command line, argv[0] first, in UTF-8. POSIX: argv as given. Windows: the
// UTF-16 command line, so a file or folder named outside the ANSI code page arrives whole.
std::vector<std::string> CommandLineWords(int argc, char** argv);

// Before anything is read or written: standard input and output in binary mode where the
// system translates line ends, and the console showing UTF-8.
void PrepareStandardStreams();

// True when standard error (input) is a terminal a person watches (types at), not a file, a
// pipe or the null device.
bool StderrIsTerminal();
bool StdinIsTerminal();
