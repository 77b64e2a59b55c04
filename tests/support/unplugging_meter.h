#pragma once
// The virtual meter for the tests that pull its cable: it hangs up after a number of frames
// and, when given a delay, is plugged in again at the same path that much later. It is
// reached through a link of its own in the test's folder: once the meter is gone, a bare
// /dev/pts number may by then belong to another test's meter or terminal.

#include <string>

#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"

class UnpluggingMeter {
  public:
    static constexpr int kNeverBack = -1;

    // The meter with --fast, pulled after `unplugAfterFrames` frames, back `replugAfterMs`
    // later unless kNeverBack.
    UnpluggingMeter(const TempDir& dir, int unplugAfterFrames, int replugAfterMs);

    // The path the meter is found at, before and after it comes back.
    const std::string& Link() const { return link_; }
    bool Started() const { return !meter_.DevicePath().empty(); }

  private:
    std::string link_;  // before meter_: the meter is started on it
    MeterProcess meter_;
};
