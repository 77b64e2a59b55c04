// screenshot and screen: the window's File › Download Screenshot and File › Save Screen.

#include "cli/cli_screen.h"

#include <algorithm>
#include <cstdio>

#include "link/message_seam.h"
#include "link/meter_identity.h"
#include "link/serial_port.h"
#include "screen/screen_bitmap.h"
#include "screen/screen_poll.h"
#include "screen/screenshot_download.h"

namespace {

constexpr const char* kScreenshotUsage = "usage: screenshot SLOT [FILE]  (SLOT 1 to 4)";
constexpr const char* kScreenUsage = "usage: screen FILE";

bool ParseSlot(const std::string& word, char* slot) {
    if (word.size() != 1 || word[0] < '1' || word[0] > '4') return false;
    *slot = word[0];
    return true;
}

// The file named on the command line stands in for the save dialog; without one the
// dialog's initial name is taken as it is. The answer is kept in `answered`.
BitmapFileChooser ChosenFile(const std::string& file, std::string* answered) {
    return [file, answered](const std::string& initialName) -> std::optional<std::string> {
        *answered = file.empty() ? initialName : file;
        return *answered;
    };
}

int Usage(const char* usage) {
    std::fprintf(stderr, "%s\n", usage);
    return kExitUsage;
}

// What the user learns besides the message: where the file went, or why it could not.
int Finish(const MeterLink& link, ScreenshotOutcome outcome, const std::string& chosenPath,
           const std::string& writeError) {
    if (outcome == ScreenshotOutcome::WriteFailed && !writeError.empty())
        std::fprintf(stderr, "ferrolog-cli: cannot write %s: %s\n",
                     BitmapFileName(chosenPath).c_str(), writeError.c_str());
    ReportIfDisconnected(link);
    if (outcome != ScreenshotOutcome::Saved) return kExitFailed;
    std::printf("%s\n", BitmapFileName(chosenPath).c_str());
    return 0;
}

// One run of the mirror's worker; true when it accepted a frame, which `frame` then holds.
bool FetchLiveFrame(MeterLink& link, ScreenPixels& frame) {
    bool accepted = false;
    link.TakePort(PortHolder::Mirror);  // the run gives it back
    ScreenPollRun(link, link.PortNumber, [&](const uint8_t* pixels) {
        std::copy_n(pixels, frame.size(), frame.begin());
        accepted = true;
    });
    return accepted;
}

}  // namespace

int RunScreenshot(const CliOptions& options, MeterLink& link) {
    char slot = 0;
    if (options.args.empty() || options.args.size() > 2 || !ParseSlot(options.args[0], &slot))
        return Usage(kScreenshotUsage);
    const std::string file = options.args.size() == 2 ? options.args[1] : "";
    if (!ConnectMeter(options, link)) return kExitFailed;
    std::string chosen;
    std::string writeError;
    const ScreenshotOutcome outcome =
        DownloadScreenshot(link, slot, ChosenFile(file, &chosen), &writeError);
    return Finish(link, outcome, chosen, writeError);
}

int RunScreen(const CliOptions& options, MeterLink& link) {
    if (options.args.size() != 1 || options.args[0].empty()) return Usage(kScreenUsage);
    const std::string& file = options.args[0];
    if (!ConnectMeter(options, link)) return kExitFailed;
    // Refused before anything is sent, as the window refuses Save Screen.
    if (!SaveScreenAllowed(link.DeviceModel)) {
        ShowMessage(kOnlyWithZtx440);
        return kExitFailed;
    }
    ScreenPixels frame{};
    if (!FetchLiveFrame(link, frame)) {
        if (!ReportIfDisconnected(link)) ShowMessage(kScreenshotDownloadFailedMessage);
        return kExitFailed;
    }
    std::string chosen;
    std::string writeError;
    const ScreenshotOutcome outcome = SaveScreen(
        link, [&frame] { return frame; }, ChosenFile(file, &chosen), &writeError);
    return Finish(link, outcome, chosen, writeError);
}
