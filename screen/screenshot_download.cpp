#include "screen/screenshot_download.h"

#include <array>

#include "link/command_exchange.h"
#include "link/message_seam.h"
#include "link/meter_identity.h"
#include "link/port_guard.h"
#include "screen/screen_bitmap.h"
#include "screen/screen_frame.h"

namespace {

ScreenshotOutcome Tell(ScreenshotOutcome outcome, const char* message) {
    ShowMessage(message);
    return outcome;
}

// The final file name, or nothing when the user chose none.
std::optional<std::string> ChooseBitmapFile(const BitmapFileChooser& choose,
                                            const std::string& initialName) {
    std::optional<std::string> chosen = choose(initialName);
    if (!chosen || chosen->empty()) return std::nullopt;
    return BitmapFileName(*chosen);
}

bool FetchShotInfo(CSerialPort& port, char slot, uint8_t* info7) {
    return RunExchange(port, kShotInfoPolicy, ScreenshotInfoRequest(slot), info7, PortNumber).whole;
}

bool FetchShotPixels(CSerialPort& port, char slot, uint8_t* reply1025) {
    return RunExchange(port, kShotPixelsPolicy, ScreenshotPixelsRequest(slot), reply1025,
                       PortNumber)
        .whole;
}

}  // namespace

ScreenshotOutcome DownloadScreenshot(char slot, const BitmapFileChooser& choose,
                                     CSerialPort& port) {
    if (!ScreenshotDownloadAllowed(DeviceModel))
        return Tell(ScreenshotOutcome::Refused, kOnlyWithZtx440);
    PortGuard guard;
    if (!DeviceConnected) return Tell(ScreenshotOutcome::NoMeter, kComportError);

    std::array<uint8_t, kScreenshotInfoSize> info{};
    if (!FetchShotInfo(port, slot, info.data()))
        return Tell(ScreenshotOutcome::NoInfoReply, kScreenshotInfoFailedMessage);
    if (ScreenshotSlotEmpty(info.data()))
        return Tell(ScreenshotOutcome::SlotEmpty, kScreenshotNotFoundMessage);

    const std::optional<std::string> path =
        ChooseBitmapFile(choose, ScreenshotDefaultName(slot, info.data()));
    if (!path) return ScreenshotOutcome::Cancelled;

    std::array<uint8_t, kScreenFrameSize> reply{};
    if (!FetchShotPixels(port, slot, reply.data()))
        return Tell(ScreenshotOutcome::NoPixelReply, kScreenshotDownloadFailedMessage);
    if (!WriteScreenBitmapFile(*path, reply.data()))
        return Tell(ScreenshotOutcome::WriteFailed, kScreenshotDownloadFailedMessage);
    return Tell(ScreenshotOutcome::Saved, kScreenshotSavedMessage);
}

ScreenshotOutcome SaveScreen(const MirroredFrame& lastFrame, const BitmapFileChooser& choose) {
    if (!SaveScreenAllowed(DeviceModel)) return Tell(ScreenshotOutcome::Refused, kOnlyWithZtx440);
    // Holding the port also keeps the screen worker from handing over a frame meanwhile.
    PortGuard guard;
    if (!DeviceConnected) return Tell(ScreenshotOutcome::NoMeter, kComportError);

    const std::optional<std::string> path = ChooseBitmapFile(choose, "");
    if (!path) return ScreenshotOutcome::Cancelled;
    if (!WriteScreenBitmapFile(*path, lastFrame().data()))
        return Tell(ScreenshotOutcome::WriteFailed, kSaveScreenWriteFailedMessage);
    return Tell(ScreenshotOutcome::Saved, kScreenshotSavedMessage);
}
