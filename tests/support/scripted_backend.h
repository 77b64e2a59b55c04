#pragma once
// A meter behind the serial seam, on a virtual clock. The test scripts what comes back when the
// program writes; a wait for input moves the clock on to the next bytes due, or by its timeout,
// so a reply that comes late or never costs no real time, and every timing is exact.
//
// One device, whatever the path. Bytes due while the port is closed are lost, as on a real line.

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "link/serial_backend.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/virtual_clock.h"

class ScriptedBackend : public serial_backend::Backend {
  public:
    // Hears every byte the program writes, at the virtual time it is written, and answers with
    // Arrive and HangUpAt. Called on the writing thread, without the backend's lock.
    using Listener = std::function<void(uint8_t byte, int64_t atMs)>;

    explicit ScriptedBackend(VirtualClock& clock) : clock_(clock) {}

    VirtualClock& clock() { return clock_; }

    void Listen(Listener listener);
    // Answers each whole frame written ("<" ... ">>") as ScriptedPeer does, the reply's delay
    // counted from the frame's last byte.
    void Play(ScriptedPeer::Script script);

    // The bytes reach the program's input at atMs; bytes due at the same time keep their order.
    void Arrive(const Bytes& bytes, int64_t atMs);
    // The device goes away at atMs, as an adapter pulled: what is unread goes with it, and it
    // cannot be opened again.
    void HangUpAt(int64_t atMs);

    // Every byte the program wrote, and when (virtual ms).
    Bytes Written() const;
    std::vector<int64_t> WrittenAtMs() const;
    // The frames Play cut from them.
    std::vector<Bytes> Frames() const;

    serial_backend::OpenResult OpenDevice(const std::string& path, int baudRate) override;
    void CloseDevice(serial_backend::Handle handle) override;
    int QueuedBytes(serial_backend::Handle handle) override;
    int PendingOutput(serial_backend::Handle handle) override;
    int ReadQueued(serial_backend::Handle handle, uint8_t* buffer, int max) override;
    serial_backend::WriteResult WriteOneByte(serial_backend::Handle handle, uint8_t value,
                                             int timeoutMs) override;
    void DiscardInput(serial_backend::Handle handle) override;
    serial_backend::WaitResult WaitReadable(serial_backend::Handle handle, int timeoutMs) override;
    bool HasHungUp(serial_backend::Handle handle) override;

  private:
    struct Arrival {
        int64_t atMs;
        Bytes bytes;
    };
    // Moves the arrivals due by now to the input (or drops them on a closed port). Locked.
    void DeliverLocked();
    bool GoneLocked() const { return clock_.NowMs() >= hangUpAtMs_; }

    VirtualClock& clock_;
    mutable std::mutex mutex_;
    Listener listener_;
    std::vector<Arrival> arrivals_;  // by time due
    Bytes input_;
    bool open_ = false;
    int64_t hangUpAtMs_ = INT64_MAX;
    Bytes written_;
    std::vector<int64_t> writtenAtMs_;
    Bytes pendingFrame_;
    std::vector<Bytes> frames_;
};
