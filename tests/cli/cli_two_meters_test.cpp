// Two links in one process talk to two meters side by side, each connected as the tool connects
// to its meter, and neither sees the other's bytes.

#include <gtest/gtest.h>

#include <thread>

#include "cli/cli_context.h"
#include "link/command_frame.h"
#include "link/meter_link.h"
#include "measure/measurement_fetch.h"
#include "screen/screen_poll.h"
#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr int kRounds = 3;

struct Side {
    explicit Side(const std::string& model, const std::string& log)
        : meter({"--fast", "--model", model, "--log", log}), log(log) {}
    MeterProcess meter;
    std::string log;
    MeterLink link;
    Measurement reading;  // each side's fetches land in its own
    int frames = 0;
    int fields = 0;
};

// A mirror run and a field fetch, kRounds times, as a window on this link would make them.
void MirrorAndFetch(Side& side) {
    for (int round = 0; round < kRounds; ++round) {
        side.link.TakePort(PortHolder::Mirror);
        ScreenPollRun(side.link, 1, [&side](const uint8_t*) { ++side.frames; });
        if (FetchFieldBlock(side.link, 1, side.reading) == FetchOutcome::Accepted) ++side.fields;
    }
}

TEST(CliTwoMeters, TwoLinksMirrorAndFetchSideBySideWithoutSeeingEachOthersBytes) {
    TempDir dir;
    Side first("ZTX440", dir.File("first.log"));
    Side second("ZTX430", dir.File("second.log"));
    for (Side* side : {&first, &second}) {
        ASSERT_FALSE(side->meter.DevicePath().empty());
        side->link.port.Ports().Map(1, side->meter.DevicePath());  // COM1 of each link
        CliOptions options;
        options.com = 1;
        ASSERT_TRUE(ConnectMeter(options, side->link));
    }
    EXPECT_EQ(first.link.DeviceModel, kModelZtx440);
    EXPECT_EQ(second.link.DeviceModel, kModelZtx430);

    std::thread other([&] { MirrorAndFetch(second); });
    MirrorAndFetch(first);
    other.join();

    std::vector<std::string> expected = {HexString(BuildFrame("GETVER"))};
    for (int round = 0; round < kRounds; ++round) {
        expected.push_back(HexString(BuildFrame("GETSCREEN")));
        expected.push_back(HexString(BuildFrame("GETEMFDATA")));
    }
    for (Side* side : {&first, &second}) {
        EXPECT_EQ(side->frames, kRounds);
        EXPECT_EQ(side->fields, kRounds);
        EXPECT_EQ(ReadLogLines(side->log), expected) << side->log;
    }
}

}  // namespace
