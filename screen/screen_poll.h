#pragma once
// The screen mirror's worker. One run fetches one frame with "<GETSCREEN>>" (up to five
// attempts) and hands an accepted frame to its handler; the scheduler asks for a new run
// whenever the previous one has given the port back.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "link/meter_link.h"

// Called on the worker thread with the 1024 pixel bytes of an accepted frame. It must not
// touch widgets or wait for the user-interface thread: hand the picture on and return.
using ScreenFrameHandler = std::function<void(const uint8_t* pixels1024)>;

// One run of the worker. The caller must already hold the link's port; the run gives it back
// as its last step on every path. Returns the number of attempts made.
int ScreenPollRun(MeterLink& link, int portNumber, const ScreenFrameHandler& onFrame);

// Owns the worker thread: one thread for the window's life. While mirroring is on it starts
// a run whenever it can take the port, one after another, and otherwise sleeps on its own
// condition; a run costs no thread start and an idle mirror no wake-ups.
class ScreenPollThread {
  public:
    explicit ScreenPollThread(MeterLink& link, ScreenFrameHandler onFrame);
    ~ScreenPollThread();  // ends the thread and joins it
    ScreenPollThread(const ScreenPollThread&) = delete;
    ScreenPollThread& operator=(const ScreenPollThread&) = delete;

    // Mirroring on COM portNumber on or off, and a nudge to look again now. A run starts only
    // while the link allows it (MeterLink::MirrorAllowed) and its port is free; the port is
    // taken in the same step, so no other exchange can slip in between the decision and the run.
    void SetMirroring(bool on, int portNumber);

    // True while a run is under way.
    bool Running() const { return running_; }

    // Waits for the current run, if any, to end.
    void Join();

    // From a thread that has just given the port back for a while: asks for one run now and
    // waits until the worker has made it or found that none may start (mirroring off, the
    // link's flags, the port taken). Returns at once while mirroring is off.
    void RunOnceAndWait();

  private:
    void WorkerLoop();
    bool TakePortForRun();

    MeterLink& link_;
    ScreenFrameHandler onFrame_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool mirroring_ = false;  // guarded by mutex_
    bool nudged_ = false;     // guarded by mutex_
    bool quit_ = false;       // guarded by mutex_
    int portNumber_ = 0;      // guarded by mutex_
    uint64_t asked_ = 0;      // guarded by mutex_: RunOnceAndWait's requests so far
    uint64_t answered_ = 0;   // guarded by mutex_: the requests the worker has looked at
    std::atomic<bool> running_{false};
    std::thread thread_;
};
