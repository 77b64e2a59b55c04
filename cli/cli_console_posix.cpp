// The console on POSIX: the words arrive in UTF-8 and the streams carry bytes as they are.

#include "cli/cli_console.h"

#include <unistd.h>

std::vector<std::string> CommandLineWords(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void PrepareStandardStreams() {}

bool StderrIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}

bool StdinIsTerminal() {
    return isatty(STDIN_FILENO) != 0;
}
