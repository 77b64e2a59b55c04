#pragma once
// The virtual meter's end of the line: a pseudo-terminal whose device path the program opens
// as it would a COM port. The meter keeps the device side open itself, so the line stays up
// (and keeps its settings) while no program has it open, as a plugged-in meter would.

#include <sys/types.h>

#include <string>

class PseudoTerminal {
  public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Creates the pair, raw 8N1 at 115200; false with the reason when it cannot.
    bool Open(std::string* error);

    const std::string& DevicePath() const { return path_; }
    int fd() const { return master_; }

    // A program that dies with the port open leaves it in exclusive mode, which would keep every
    // later open out. A real port is free again once its holder has gone, so when no process
    // holds the port's lock any more its exclusive mode is lifted.
    void ReleaseAbandonedPort();

  private:
    bool PortLocked() const;

    int master_ = -1;
    int device_ = -1;
    std::string path_;
    dev_t deviceFs_ = 0;
    ino_t deviceNode_ = 0;
};
