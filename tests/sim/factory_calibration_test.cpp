#include "sim/factory_calibration.h"

#include <gtest/gtest.h>

namespace {

struct Worked {
    float revision;
    int32_t count;
    double expected;
};

// Worked by hand from the curves: slope x count + offset, then the revision's EF rule.
TEST(FactoryCalibration, MilligaussMatchesHandWorkedValues) {
    const Worked cases[] = {
        {0.0f, 75, 0.0},       // R0: 0.020833333 x 75 - 1.5625 is a hair below 0
        {0.0f, 99, 0.5},       // R0 second row: 0.058823529 x 99 - 5.323529412
        {0.0f, 1000, 21.111},  // R0: 0.031746032 x 1000 - 10.634920635
        {3.5f, 1000, 21.111},  // 3.5 is back on R0
        {2.5f, 100, 0.8},      // R2: 0.010810811 x 100 - 0.281081081
        {3.0f, 1000, 6.176},   // R3: 0.016806723 x 1000 - 10.630252101
        {3.0f, 700, 0.0},      // R3 below its zero: clamped
    };
    for (const Worked& c : cases)
        EXPECT_NEAR(MilligaussForCount(c.revision, c.count), c.expected, 0.001)
            << "revision " << c.revision << " count " << c.count;
}

TEST(FactoryCalibration, VoltsPerMetreMatchesHandWorkedValues) {
    const Worked cases[] = {
        {0.0f, 64, 56.0},     // v = 50: (0.88 x 50 - 16) doubled below revision 2
        {0.0f, 14, 6.0},      // v = 0: (0.5 x 0 + 3) doubled
        {2.5f, 199, 20.9},    // (199 + 10) x 0.1
        {2.5f, 200, 28.956},  // 20.51995897 x 1.001723345^200: the curve jumps at 200
        {3.0f, 70, 6.6},      // R3, v = 50: 0.136 x 50 - 0.2
        {3.5f, 64, 28.0},     // R0 without doubling
        {0.0f, -200, 0.0},    // far below zero: clamped
    };
    for (const Worked& c : cases)
        EXPECT_NEAR(VoltsPerMetreForCount(c.revision, c.count), c.expected, 0.001)
            << "revision " << c.revision << " count " << c.count;
}

TEST(FactoryCalibration, RevisionLimitsBelongToTheBandAbove) {
    EXPECT_EQ(CurveSetFor(1.99f), CurveSet::R0);
    EXPECT_EQ(CurveSetFor(2.0f), CurveSet::R2);
    EXPECT_EQ(CurveSetFor(3.0f), CurveSet::R3);
    EXPECT_EQ(CurveSetFor(3.49f), CurveSet::R3);
    EXPECT_EQ(CurveSetFor(3.5f), CurveSet::R0);
}

TEST(FactoryCalibration, CountIsTheFirstThatReachesTheField) {
    EXPECT_EQ(CountForMilligauss(0.0f, 21.1), 1000);   // 999 reads 21.079
    EXPECT_EQ(CountForVoltsPerMetre(0.0f, 56.0), 64);  // 63 reads 55
    EXPECT_EQ(CountForVoltsPerMetre(2.5f, 20.85), 199);
    EXPECT_EQ(CountForMilligauss(0.0f, 1e9), kHighestCount);
}

// What the program reads back from the meter's counts is the field the meter was in, to within
// one count's worth.
TEST(FactoryCalibration, CountsReadBackAsTheFieldForEveryRevision) {
    for (float revision : {1.30f, 2.21f, 3.10f, 3.62f}) {
        for (double mg : {0.3, 1.0, 4.7, 18.0, 95.0, 400.0}) {
            const double back = MilligaussForCount(revision, CountForMilligauss(revision, mg));
            EXPECT_GE(back, mg) << revision << " " << mg;
            EXPECT_LE(back, mg * 1.02 + 0.05) << revision << " " << mg;
        }
        for (double vm : {8.0, 35.0, 140.0, 600.0}) {
            const double back =
                VoltsPerMetreForCount(revision, CountForVoltsPerMetre(revision, vm));
            EXPECT_GE(back, vm) << revision << " " << vm;
            EXPECT_LE(back, vm * 1.03 + 0.5) << revision << " " << vm;
        }
    }
}

// Revision 2 meters jump from 20.9 to 28.956 V/m at count 200; a field in between reads as the
// jump, as on the real meter.
TEST(FactoryCalibration, FieldInTheRevision2GapReadsAsTheJump) {
    EXPECT_EQ(CountForVoltsPerMetre(2.21f, 25.0), 200);
    EXPECT_NEAR(VoltsPerMetreForCount(2.21f, 200), 28.956, 0.001);
}

}  // namespace
