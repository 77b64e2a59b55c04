#pragma once
// Debian's mosquitto as a child on a free loopback port, for tests that need a real broker, and
// the child process it runs as, which also runs `ferrolog-cli serve` for the tests that signal
// or kill it.

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

class ChildProcess {
  public:
    // Starts program with args, its standard output and error appended to logPath. The child
    // gets SIGTERM should the test die first (the signal follows the forking thread, so start
    // children on the test's main thread).
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::string& logPath);
    ~ChildProcess();  // kills it with SIGKILL if still running, and reaps it
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Running();
    void Signal(int number);
    // Its exit code (128 + the signal that ended it), waiting at most timeoutMs; nothing while it
    // still runs.
    std::optional<int> WaitExit(int timeoutMs);
    // SIGTERM, then SIGKILL after timeoutMs; reaped either way.
    void Stop(int timeoutMs = 5000);

  private:
    pid_t pid_ = -1;
    std::optional<int> exitCode_;
};

class MosquittoBroker {
  public:
    static bool Installed();  // false: tests skip, saying so

    MosquittoBroker();  // picks the port, writes the config and starts (see Start)
    ~MosquittoBroker();
    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;

    // Starts the broker on Port(), again after Stop, and waits until it accepts connections;
    // false when it did not within a generous bound. Nothing is kept from a run before.
    bool Start();
    void Stop();
    void Signal(int number);  // e.g. SIGSTOP: a broker that no longer answers
    bool Running() const { return process_ != nullptr; }
    int Port() const { return port_; }
    std::string LogPath() const { return dir_.File("broker.log"); }

  private:
    TempDir dir_;
    int port_ = 0;
    std::unique_ptr<ChildProcess> process_;
};

// A port on 127.0.0.1 nobody listened on a moment ago; 0 when none could be had.
int FreeLoopbackPort();
