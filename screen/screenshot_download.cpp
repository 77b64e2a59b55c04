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

bool FetchShotInfo(MeterLink& link, char slot, uint8_t* info7) {
    return RunExchange(link.port, kShotInfoPolicy, ScreenshotInfoRequest(slot), info7,
                       link.PortNumber)
        .whole;
}

bool FetchShotPixels(MeterLink& link, char slot, uint8_t* reply1025) {
    return RunExchange(link.port, kShotPixelsPolicy, ScreenshotPixelsRequest(slot), reply1025,
                       link.PortNumber)
        .whole;
}

}  // namespace

ScreenshotOutcome DownloadScreenshot(MeterLink& link, char slot, const BitmapFileChooser& choose,
                                     std::string* writeError) {
    if (!ScreenshotDownloadAllowed(link.DeviceModel))
        return Tell(ScreenshotOutcome::Refused, kOnlyWithZtx440);
    PortGuard guard(link);
    if (!link.DeviceConnected) return Tell(ScreenshotOutcome::NoMeter, kComportError);

    std::array<uint8_t, kScreenshotInfoSize> info{};
    if (!FetchShotInfo(link, slot, info.data()))
        return Tell(ScreenshotOutcome::NoInfoReply, kScreenshotInfoFailedMessage);
    if (ScreenshotSlotEmpty(info.data()))
        return Tell(ScreenshotOutcome::SlotEmpty, kScreenshotNotFoundMessage);

    const std::optional<std::string> path =
        ChooseBitmapFile(choose, ScreenshotDefaultName(slot, info.data()));
    if (!path) return ScreenshotOutcome::Cancelled;

    std::array<uint8_t, kScreenFrameSize> reply{};
    if (!FetchShotPixels(link, slot, reply.data()))
        return Tell(ScreenshotOutcome::NoPixelReply, kScreenshotDownloadFailedMessage);
    if (!WriteScreenBitmapFile(*path, reply.data(), writeError))
        return Tell(ScreenshotOutcome::WriteFailed, kScreenshotDownloadFailedMessage);
    return Tell(ScreenshotOutcome::Saved, kScreenshotSavedMessage);
}

ScreenshotOutcome SaveScreen(MeterLink& link, const MirroredFrame& lastFrame,
                             const BitmapFileChooser& choose, std::string* writeError) {
    if (!SaveScreenAllowed(link.DeviceModel))
        return Tell(ScreenshotOutcome::Refused, kOnlyWithZtx440);
    // Holding the port also keeps the screen worker from handing over a frame meanwhile.
    PortGuard guard(link);
    if (!link.DeviceConnected) return Tell(ScreenshotOutcome::NoMeter, kComportError);

    const std::optional<std::string> path = ChooseBitmapFile(choose, "");
    if (!path) return ScreenshotOutcome::Cancelled;
    if (!WriteScreenBitmapFile(*path, lastFrame().data(), writeError))
        return Tell(ScreenshotOutcome::WriteFailed, kSaveScreenWriteFailedMessage);
    return Tell(ScreenshotOutcome::Saved, kScreenshotSavedMessage);
}
