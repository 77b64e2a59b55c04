#pragma once
// ferrolog-draw, the program that draws plot's pictures (it comes with the window and keeps
// the tool free of Qt): finding it and running it, each system's own (draw_program_posix.cpp,
// draw_program_win32.cpp).

#include <string>
#include <vector>

// ferrolog-draw as installed beside the window (FERROLOG_DRAW_FROM_BIN is its path from the
// folder of the installed programs), or in the build tree's app/ folder; empty when absent.
std::string DrawProgram();

// Runs program with the job's words and collects the PNG it writes on its standard output;
// its own messages go on to standard error. Only a child that read, drew and exited with
// status 0 has drawn it whole. False at once for an empty program.
bool RunDrawProgram(const std::string& program, const std::vector<std::string>& job,
                    std::string* png);
