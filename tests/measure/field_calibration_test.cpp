#include "measure/field_calibration.h"

#include <gtest/gtest.h>

namespace {

constexpr float kTolerance = 1e-4f;

struct Conversion {
    float revision;
    int32_t count;
    float expected;
};

// Worked by hand from the curves: slope * value + offset of the row the value falls in.
TEST(FieldCalibration, EmfRowBoundsPickTheRowAbove) {
    const Conversion cases[] = {
        // R0: just below and at 99, 107.5, 2850 and the open-ended last row at 3100
        {0.0f, 98, 0.479166634f},      // 0.020833333 * 98 - 1.5625
        {0.0f, 99, 0.499999959f},      // 0.058823529 * 99 - 5.323529412
        {0.0f, 107, 0.970588191f},     // still the 99..107.5 row
        {0.0f, 108, 1.012195132f},     // 0.024390244 * 108 - 1.62195122
        {0.0f, 2849, 149.777777145f},  // 0.222222222 * 2849 - 483.333333333
        {0.0f, 2850, 150.0f},          // 0.2 * 2850 - 420
        {0.0f, 3099, 199.8f},
        {0.0f, 3100, 200.0f},  // 0.5 * 3100 - 1350
        // R2
        {2.5f, 62, 0.393650772f},  // 0.006349206 * 62
        {2.5f, 63, 0.400000012f},  // 0.010810811 * 63 - 0.281081081
        {2.5f, 7499, 249.9f},      // 0.1 * 7499 - 500
        {2.5f, 7500, 250.0f},      // 0.25 * 7500 - 1625
        // R3
        {3.2f, 784, 1.068571093f},     // 0.031428571 * 784 - 23.571428571
        {3.2f, 785, 1.099999815f},     // 0.026470588 * 785 - 19.679411765
        {3.2f, 3769, 199.324325547f},  // 0.675675676 * 3769 - 2347.297297297
        {3.2f, 3770, 200.0f},          // 0.625 * 3770 - 2156.25
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(ConvertEmfCount(c.count, c.revision), c.expected, kTolerance)
            << "revision " << c.revision << " count " << c.count;
    }
}

TEST(FieldCalibration, EfRowBoundsPickTheRowAbove) {
    const Conversion cases[] = {
        // EF R0 from 3.5 on, v = count - 14, not doubled
        {3.5f, -7, 0.8f},      // v = -21: 0.2 * -21 + 5
        {3.5f, -6, 1.0f},      // v = -20: 0.1 * -20 + 3
        {3.5f, 13, 2.9f},      // v = -1
        {3.5f, 14, 3.0f},      // v = 0: 0.5 * 0 + 3
        {3.5f, 2013, 499.4f},  // v = 1999: 0.6 * 1999 - 700
        {3.5f, 2014, 500.0f},  // v = 2000: 0.5 * 2000 - 500
        // EF R3 from 3.0 to 3.5, v = count - 20
        {3.0f, 228, 29.850746197f},  // v = 208: 0.149253731 * 208 - 1.194029851
        {3.0f, 229, 29.99999993f},   // v = 209: 0.061099796 * 209 + 17.230142566
        {3.0f, 3019, 599.75f},       // v = 2999: 0.25 * 2999 - 150
        {3.0f, 3020, 600.0f},        // v = 3000: 0.8 * 3000 - 1800
    };
    for (const auto& c : cases) {
        EXPECT_NEAR(ConvertEfCount(c.count, c.revision), c.expected, kTolerance)
            << "revision " << c.revision << " count " << c.count;
    }
}

TEST(FieldCalibration, UnidentifiedMeterUsesR0) {
    EXPECT_EQ(ConvertEmfCount(75, 0.0f), 0.0f);  // the line is a hair below zero there
    EXPECT_NEAR(ConvertEmfCount(99, 0.0f), 0.5f, kTolerance);
    EXPECT_NEAR(ConvertEmfCount(1000, 0.0f), 21.111111f, kTolerance);
    EXPECT_NEAR(ConvertEfCount(64, 0.0f), 56.0f, kTolerance);  // (0.88 * 50 - 16) * 2
    EXPECT_NEAR(ConvertEfCount(14, 0.0f), 6.0f, kTolerance);   // (0.5 * 0 + 3) * 2
}

TEST(FieldCalibration, R2EfJumpsAt200Counts) {
    EXPECT_NEAR(ConvertEfCount(199, 2.5f), 20.9f, kTolerance);       // (199 + 10) * 0.1
    EXPECT_NEAR(ConvertEfCount(200, 2.5f), 28.955795f, kTolerance);  // 20.51995897 * 1.0017..^200
    EXPECT_NEAR(ConvertEfCount(-10, 2.5f), 0.0f, kTolerance);
}

TEST(FieldCalibration, RevisionOnALimitBelongsToTheBandAbove) {
    const struct {
        float revision;
        CalibrationBand band;
    } cases[] = {
        {0.0f, CalibrationBand::kEarly}, {1.99f, CalibrationBand::kEarly},
        {2.0f, CalibrationBand::kR2},    {2.99f, CalibrationBand::kR2},
        {3.0f, CalibrationBand::kR3},    {3.49f, CalibrationBand::kR3},
        {3.5f, CalibrationBand::kLate},  {9.0f, CalibrationBand::kLate},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CalibrationBandFor(c.revision), c.band) << c.revision;

    EXPECT_NEAR(ConvertEmfCount(1000, 1.99f), 21.111111f, kTolerance);  // R0
    EXPECT_NEAR(ConvertEmfCount(1000, 2.0f), 4.516878f, kTolerance);    // R2
    EXPECT_NEAR(ConvertEmfCount(1000, 3.0f), 6.176471f, kTolerance);    // R3
    EXPECT_NEAR(ConvertEmfCount(1000, 3.5f), 21.111111f, kTolerance);   // R0 again
    EXPECT_NEAR(ConvertEfCount(70, 3.0f), 6.6f, kTolerance);            // R3: 0.136 * 50 - 0.2
    EXPECT_NEAR(ConvertEfCount(64, 3.49f), 6.168f, kTolerance);         // R3: 0.072 * 44 + 3
    EXPECT_NEAR(ConvertEfCount(64, 3.5f), 28.0f, kTolerance);           // R0, not doubled
    EXPECT_NEAR(ConvertEfCount(64, 1.99f), 56.0f, kTolerance);          // R0, doubled
}

TEST(FieldCalibration, NegativeResultsBecomeZero) {
    const Conversion emf[] = {
        {0.0f, 0, 0.0f}, {0.0f, -100000, 0.0f},   {2.5f, -50, 0.0f},
        {3.2f, 0, 0.0f}, {3.7f, INT32_MIN, 0.0f},
    };
    for (const auto& c : emf)
        EXPECT_EQ(ConvertEmfCount(c.count, c.revision), 0.0f) << c.count;
    const Conversion ef[] = {
        {0.0f, -1000, 0.0f},
        {2.5f, -11, 0.0f},
        {3.0f, -1000, 0.0f},
        {3.5f, INT32_MIN, 0.0f},
    };
    for (const auto& c : ef)
        EXPECT_EQ(ConvertEfCount(c.count, c.revision), 0.0f) << c.count;
}

}  // namespace
