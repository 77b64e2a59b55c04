#pragma once
// MeterLink: one meter as the program knows it. It owns the serial port the meter is on, who
// the meter is, and who may use the port now. The window, the command-line tool and every test
// make their own and pass it by reference, so two links talk to two meters side by side.
//
// Taking the port is one arbiter (a mutex and a condition variable): the screen mirror takes it
// only when it is free, a user action or a fetch waits for it, and a dialog that talks to the
// meter itself (the terminal, the history download) holds it for the dialog's life.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

#include "link/serial_port.h"

// Who holds the port.
enum class PortHolder {
    Nobody,
    Mirror,    // one screen-mirror run
    Exchange,  // a user action or a fetch (PortGuard)
    Dialog,    // a dialog that talks to the meter itself until it closes
};

class MeterLink {
  public:
    // The port talks through backend and runs on clock (see CSerialPort); both outlive the link.
    explicit MeterLink(serial_backend::Backend& backend = serial_backend::SystemBackend(),
                       Clock& clock = SystemClock());
    MeterLink(const MeterLink&) = delete;
    MeterLink& operator=(const MeterLink&) = delete;

    CSerialPort port;

    // Who the meter is. Written by identification, read by every thread.
    std::atomic<int> PortNumber{0};             // COM number in use (selector index + 1)
    std::atomic<bool> DeviceConnected{false};   // a meter answered with a known token
    std::atomic<int> DeviceModel{0};            // MeterModel, 0 before and after a failed one
    std::atomic<float> FirmwareRevision{0.0f};  // set only on success
    std::string MeterName;                      // the reply up to its first "R" (UI thread only)

    // StopScreenPoll asks a waiting mirror run to give the port back at once and keeps the
    // scheduler from starting another. LinkSuspended keeps it from starting any while the
    // window closes. MirrorPaused is the window's "Pause" box.
    std::atomic<bool> StopScreenPoll{false};
    std::atomic<bool> LinkSuspended{false};
    std::atomic<bool> MirrorPaused{false};
    // Set when the meter's device hung up (unplugged, EIO, ENXIO): the port has been closed and
    // DeviceConnected is false until the same device answers again (ReidentifyLostMeter).
    std::atomic<bool> LinkLost{false};

    // True while nobody holds the port.
    bool PortFree() const;
    PortHolder Holder() const;
    // True while a user action, a fetch or a dialog holds the port or waits for it (a mirror
    // run alone gives it back within one exchange).
    bool HeldForAction() const;

    // Takes the port for `who` if nobody holds it; never waits.
    bool TryTakePort(PortHolder who);
    // Waits until nobody holds the port and takes it for `who`.
    void TakePort(PortHolder who);
    // Gives the port back and wakes whoever waits for it.
    void GivePortBack();

    // True when the mirror may start a run now: a meter is connected, its device is there, and
    // nothing (a stop, a suspension, the Pause box) holds the mirror back.
    bool MirrorAllowed() const;

  private:
    void NoteHangUp();

    mutable std::mutex holderMutex_;
    std::condition_variable portGivenBack_;
    PortHolder holder_ = PortHolder::Nobody;
    int waiting_ = 0;  // TakePort calls waiting for the port
};
