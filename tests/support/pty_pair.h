#pragma once
// A bare pseudo-terminal for link tests: the test plays the meter on the master side while
// the program opens the slave through the port table.

#include <string>

#include "link/command_frame.h"

class PtyPair {
  public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    int MasterFd() const { return master_; }

    void Write(const Bytes& bytes);
    void Write(const std::string& text);
    // Reads what arrives within timeoutMs (returns early once `want` bytes are in).
    Bytes Read(int want, int timeoutMs);
    // Closes the master: the program's side sees a hang-up, as when an adapter is pulled.
    void Unplug();

  private:
    int master_ = -1;
    int heldSlave_ = -1;  // keeps the master from seeing a hang-up between the program's opens
    std::string slavePath_;
};
