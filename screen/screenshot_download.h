#pragma once
// File › Download Screenshot and File › Save Screen without their windows: the window and the
// command-line tool run the same steps and differ only in how the file is chosen. Both hold
// the port from the screen mirror for their whole run (file choice included), tell the user
// every outcome through ShowMessage, and give the port back on every path.
//
// Thread: the user-interface thread (or the command-line tool's only thread).

#include <functional>
#include <optional>
#include <string>

#include "link/meter_link.h"
#include "screen/screen_frame.h"

// Save Screen's report of a file that cannot be created.
inline constexpr const char* kSaveScreenWriteFailedMessage = "Failed to create the file.";

enum class ScreenshotOutcome {
    Refused,       // the model has no such feature; the port was not taken
    NoMeter,       // no meter connected ("Comport Error")
    NoInfoReply,   // no whole information reply in 6 attempts
    SlotEmpty,     // the meter holds no screenshot in the slot
    Cancelled,     // no file chosen; nothing written, no message
    NoPixelReply,  // no whole pixel reply in 6 attempts; no file written
    WriteFailed,   // the file could not be created
    Saved,         // the bitmap file is written
};

// Asks where to save, offering `initialName`; the chosen path, or nothing for Cancel. An empty
// path counts as Cancel. The ".bmp" rule is applied to the answer afterwards.
using BitmapFileChooser = std::function<std::optional<std::string>(const std::string& initialName)>;

// Downloads the screenshot in `slot` ('1'…'4') from the link's meter (its port already open on
// its PortNumber) and writes it as a ScreenBitmapFile under the chosen name. Models 4, 5 and 6.
// writeError, when given, receives the system's reason for a WriteFailed.
ScreenshotOutcome DownloadScreenshot(MeterLink& link, char slot, const BitmapFileChooser& choose,
                                     std::string* writeError = nullptr);

// The last frame the mirror accepted, from whoever keeps it (zero before the first). Called
// once the port is held, so no mirror run hands over a newer one meanwhile.
using MirroredFrame = std::function<ScreenPixels()>;

// Writes the last mirrored frame as a ScreenBitmapFile under the chosen name; nothing is
// sent to the meter. Models 4 and 5.
ScreenshotOutcome SaveScreen(MeterLink& link, const MirroredFrame& lastFrame,
                             const BitmapFileChooser& choose, std::string* writeError = nullptr);
