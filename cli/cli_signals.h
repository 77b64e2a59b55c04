#pragma once
// The signals a job ends on gracefully (Ctrl+C saves a download, ends a recording). A signal
// handler may only store into a lock-free atomic it can reach without arguments, so the flag
// to raise is the tool's one process-wide object; the flag itself belongs to the job. Each
// system has its own file (cli_signals_posix.cpp: sigaction; cli_signals_win32.cpp: the
// console's control handler, where SIGINT is Ctrl+C or Ctrl+Break and SIGTERM the console
// closing, the user logging off or the system shutting down; other numbers raise nothing).

#include <atomic>
#include <initializer_list>

// From now on each of `signals` raises *flag. With once, the first one also gives the signal
// back its usual meaning, so a second Ctrl+C still ends the program at once.
void RaiseOnSignals(std::atomic<bool>* flag, std::initializer_list<int> signals, bool once);

// The signals get their usual meaning back and raise nothing any more.
void StopRaisingOnSignals(std::initializer_list<int> signals);

// Ctrl+C and every request to end the program (SIGTERM, and SIGHUP where there is one) raise
// *flag; a reader of standard output that goes away is then a failed write, not an end.
void RaiseOnEndRequests(std::atomic<bool>* flag);
