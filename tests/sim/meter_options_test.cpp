#include "sim/meter_options.h"

#include <gtest/gtest.h>

namespace {

MeterOptions Parse(std::vector<std::string> args) {
    MeterOptions options;
    std::string error;
    EXPECT_TRUE(ParseMeterOptions(args, &options, &error)) << error;
    return options;
}

TEST(MeterOptions, DefaultsPlayAZtx440WithSixtyFourBlocksAndSlotFourEmpty) {
    MeterOptions o = Parse({});
    EXPECT_STREQ(o.setup.model->name, "ZTX440");
    EXPECT_EQ(o.setup.historyBytes, 64u * 4096);
    EXPECT_EQ(o.setup.emptySlots, 0b1000u);
    EXPECT_FALSE(o.fast);
    EXPECT_EQ(o.latencyMs, -1);
    EXPECT_TRUE(o.faults.empty());
}

TEST(MeterOptions, ModelByNameOrCode) {
    const std::pair<const char*, const char*> cases[] = {
        {"ZTX-8800", "ZTX-8800"}, {"VXQ", "VXQ"}, {"1", "ZTX420"}, {"4", "ZTX440"}, {"6", "TKL"},
    };
    for (auto [given, played] : cases)
        EXPECT_STREQ(Parse({"--model", given}).setup.model->name, played);
}

TEST(MeterOptions, SlotsAndBlocksAsWritten) {
    EXPECT_EQ(Parse({"--empty-slots", "1,3"}).setup.emptySlots, 0b0101u);
    EXPECT_EQ(Parse({"--empty-slots", "none"}).setup.emptySlots, 0u);
    EXPECT_EQ(Parse({"--history-blocks", "0"}).setup.historyBytes, 0u);
    EXPECT_EQ(Parse({"--history-blocks", "256"}).setup.historyBytes, 1048576u);
}

TEST(MeterOptions, SingleFaultIsNarrowedByItsFollowers) {
    MeterOptions o =
        Parse({"--fault", "corrupt-trailer", "--fault-on", "GETEMFDATA", "--fault-count", "2"});
    ASSERT_EQ(o.faults.size(), 1u);
    EXPECT_EQ(o.faults[0].name, "GETEMFDATA");
    EXPECT_EQ(o.faults[0].kind, FaultKind::Corrupt);
    EXPECT_EQ(o.faults[0].count, 2);
    MeterOptions every = Parse({"--fault", "late=800"});
    EXPECT_EQ(every.faults[0].name, "*");
    EXPECT_EQ(every.faults[0].value, 800);
    MeterOptions rules = Parse({"--fault", "GETSS:silent:1", "--fault", "SPIR:short=4094"});
    EXPECT_EQ(rules.faults.size(), 2u);
}

TEST(MeterOptions, WrongArgumentsAreRefusedWithAReason) {
    const std::vector<std::vector<std::string>> cases = {
        {"--model", "ZTX999"},
        {"--model", "7"},
        {"--history-blocks", "257"},
        {"--band", "7"},
        {"--empty-slots", "5"},
        {"--fault-on", "GETVER"},
        {"--fault", "boom"},
        {"--clock", "2026-02-30 00:00:00"},
        {"--latency"},
        {"--unplug-after", "0"},
        {"--whatever"},
    };
    for (const auto& args : cases) {
        MeterOptions options;
        std::string error;
        EXPECT_FALSE(ParseMeterOptions(args, &options, &error)) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
}

}  // namespace
