#pragma once
// A meter stand-in for link tests: answers each frame the program sends with whatever the
// test's script says, after the delay it says. Runs on its own thread over a PtyPair.

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/support/pty_pair.h"

struct ScriptedReply {
    Bytes bytes;      // nothing: no reply
    int delayMs = 0;  // before the reply leaves
};

class ScriptedPeer {
  public:
    // script(frame, index) is called for each whole frame ("<...>>") the program sends.
    using Script = std::function<ScriptedReply(const Bytes& frame, int index)>;

    ScriptedPeer(PtyPair& pty, Script script);
    ~ScriptedPeer();

    std::vector<Bytes> Frames() const;

  private:
    void Run();

    PtyPair& pty_;
    Script script_;
    std::atomic<bool> running_{true};
    mutable std::mutex mutex_;
    std::vector<Bytes> frames_;
    std::thread thread_;
};
