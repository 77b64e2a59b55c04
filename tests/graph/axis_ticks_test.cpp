#include "graph/axis_ticks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

std::vector<std::string> Labels(const std::vector<AxisTick>& ticks) {
    std::vector<std::string> labels;
    for (const AxisTick& tick : ticks)
        labels.push_back(tick.label);
    return labels;
}

using Labelled = std::vector<std::string>;

TEST(AxisTicks, RoundStepsInTheUnitsOwnFormat) {
    const struct {
        double lo, hi;
        int most;
        AxisUnit unit;
        Labelled labels;
    } cases[] = {
        {0, 47.3, 6, AxisUnit::MilliGauss, {"0 mG", "10 mG", "20 mG", "30 mG", "40 mG"}},
        {-128, -90, 5, AxisUnit::Dbm, {"-120 dBm", "-110 dBm", "-100 dBm", "-90 dBm"}},
        {433.05, 434.79, 4, AxisUnit::Megahertz, {"433.5 MHz", "434.0 MHz", "434.5 MHz"}},
        // 10000 pW/cm² steps read in nW/cm², never as "5e+04".
        {0,
         50000,
         6,
         AxisUnit::PicowattsPerCm2,
         {"0 nW/cm²", "10 nW/cm²", "20 nW/cm²", "30 nW/cm²", "40 nW/cm²", "50 nW/cm²"}},
        {0.25, -0.25, 5, AxisUnit::None, {"-0.2", "-0.1", "0.0", "0.1", "0.2"}},  // either order
        {0, 10, 1, AxisUnit::VoltsPerMetre, {"0 V/m", "10 V/m"}},  // two ticks at least
        {-100.4, -100.2, 5, AxisUnit::Dbm, {}},                    // no whole dB inside
    };
    for (const auto& c : cases)
        EXPECT_EQ(Labels(RoundTicks(c.lo, c.hi, c.most, c.unit)), c.labels) << c.lo << ".." << c.hi;
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_TRUE(RoundTicks(0, inf, 5).empty());
    EXPECT_TRUE(RoundTicks(std::nan(""), 1, 5).empty());
}

TEST(AxisTicks, RangeWidensToWholeSteps) {
    const struct {
        double lo, hi;
        int most;
        AxisRange range;
    } cases[] = {
        {0, 47.3, 6, {0, 50, 10}},
        {-3.3, 12.3, 6, {-5, 15, 5}},
        {0, 0, 5, {0, 1, 0.5}},  // nothing to span: one unit up
    };
    for (const auto& c : cases)
        EXPECT_EQ(RoundRange(c.lo, c.hi, c.most), c.range) << c.lo << ".." << c.hi;
}

TEST(AxisTicks, LabelsAndReadingsNeverUseAnExponent) {
    EXPECT_EQ(AxisLabel(-0.0001, 0.1), "0.0");
    EXPECT_EQ(AxisLabel(1500, 500, AxisUnit::PicowattsPerCm2), "1500 pW/cm²");
    EXPECT_EQ(AxisLabel(3e6, 1e6, AxisUnit::PicowattsPerCm2), "3 µW/cm²");
    const struct {
        double value;
        const char* text;
    } readings[] = {{50000, "50000"}, {1.23456, "1.235"}, {0.05, "0.05"},         {-3.3, "-3.3"},
                    {0, "0"},         {12.0, "12"},       {-0.00001, "-0.00001"}, {1e-7, "0"}};
    for (const auto& r : readings)
        EXPECT_EQ(ReadingText(r.value), r.text) << r.value;
    EXPECT_EQ(UnitOfColumn("y_mg"), AxisUnit::MilliGauss);
    EXPECT_EQ(UnitOfColumn("rf_pw_cm2"), AxisUnit::PicowattsPerCm2);
    EXPECT_EQ(UnitOfColumn("time"), AxisUnit::None);
}

TEST(AxisTicks, FrequencyFallsBetweenItsBins) {
    const std::vector<uint32_t> bins = {100, 200, 400};
    const struct {
        double hz, position;
    } cases[] = {{300, 1.5}, {100, 0}, {400, 2}, {150, 0.5}, {50, -1}, {401, -1}};
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(BinPositionOf(bins, c.hz), c.position) << c.hz;
    EXPECT_EQ(BinPositionOf({100, 100}, 100), -1);
}

TEST(AxisTicks, ClockLabelsCarryTheDateWhenTheViewSpansDays) {
    constexpr int64_t kNoon = 1796731200;  // 2026-12-08 12:00:00 on the meter's clock
    const struct {
        int64_t t0, span;
        const char* first;
    } cases[] = {
        {kNoon, 60, "12:00:00"},
        {kNoon, 3600, "12:00"},
        {kNoon, 86400, "12-08 12:00"},
        {kNoon, 7 * 86400, "2026-12-09"},
        {kNoon + 11 * 3600 + 1800, 3600, "23:30"},  // its midnight tick reads "12-09 00:00"
    };
    for (const auto& c : cases) {
        const auto ticks = ClockTicks(c.t0, c.t0 + c.span, 1200, 90, ClockTimes::AsWritten);
        ASSERT_FALSE(ticks.empty()) << c.span;
        EXPECT_EQ(ticks.front().label, c.first) << c.span;
    }
    const auto late = ClockTicks(kNoon + 41400, kNoon + 45000, 1200, 90, ClockTimes::AsWritten);
    ASSERT_EQ(late.size(), 13u);  // 23:30 .. 00:30 by 5 minutes
    EXPECT_EQ(late[6].label, "12-09 00:00");
    EXPECT_EQ(late[7].label, "00:05");
}

}  // namespace
