#include "tests/support/unplugging_meter.h"

#include <vector>

namespace {

std::vector<std::string> UnplugArgs(const std::string& link, int unplugAfterFrames,
                                    int replugAfterMs) {
    std::vector<std::string> args = {"--fast", "--unplug-after", std::to_string(unplugAfterFrames),
                                     "--link", link};
    if (replugAfterMs != UnpluggingMeter::kNeverBack)
        args.insert(args.end(), {"--replug-after", std::to_string(replugAfterMs)});
    return args;
}

}  // namespace

UnpluggingMeter::UnpluggingMeter(const TempDir& dir, int unplugAfterFrames, int replugAfterMs)
    : link_(dir.File("meter")), meter_(UnplugArgs(link_, unplugAfterFrames, replugAfterMs)) {}
