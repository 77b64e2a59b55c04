#include <gtest/gtest.h>

#include "graph/plot_geometry.h"

namespace {

SpectrumRecordData RecordWithLevels(int low, int high) {
    SpectrumRecordData record;
    for (int i = 0; i < kSpectrumBins; ++i)
        record.dbm[i] = static_cast<int8_t>(low + (high - low) * i / (kSpectrumBins - 1));
    return record;
}

TEST(SpectrumPlot, StartUpPicture) {
    SpectrumRecordData record;  // levels -128, frequencies 0, band mode 0
    SpectrumStats stats = MeasureSpectrum(record.dbm);
    SpectrumScale scale = ScaleSpectrum(stats, -98);
    EXPECT_EQ(scale.top, -98);
    EXPECT_EQ(scale.minimum, -128);
    EXPECT_EQ(scale.pixelsPerDb, 6.0f);  // 180 px over 30 dB
    EXPECT_EQ(LevelY(-128, scale), 240);
    EXPECT_TRUE(ThresholdLineShown(-98, scale));
    EXPECT_EQ(LevelY(-98, scale), 60);
    EXPECT_EQ(ThresholdLabelPosition(-98, scale, record.dbm, 45), (GraphPoint{479, 45}));
    EXPECT_EQ(ThresholdLabelText(-98, false), "-98 dBm");

    EXPECT_EQ(AverageText(stats.average, false), "Average = -128 dBm");
    EXPECT_EQ(MaximumText(stats.maximum, false), "Max = -128 dBm");
    EXPECT_EQ(MinimumText(scale.minimum, false), "(Minimum = -128 dBm)");
    EXPECT_EQ(ChannelSpacingText(record), "Channel Spacing = 0 kHz");
    EXPECT_EQ(ChannelBandwidthText(record), "Channel Bandwidth = 0 kHz");
    EXPECT_EQ(BandStartLabel(record), "0.00 kHz");
    EXPECT_EQ(BandStopLabel(record), "0.0 kHz");

    CursorState cursor;
    ASSERT_TRUE(CursorOnBin(cursor.CursorBin));
    int bin = CursorBinIndex(cursor.CursorBin);
    EXPECT_EQ(bin, 107);
    EXPECT_EQ(CursorFrequencyText(record, bin), "0.000 kHz");
    EXPECT_EQ(CursorFrequencyPosition(cursor.CursorBin, cursor.CursorRow), (GraphPoint{352, 107}));
    EXPECT_EQ(CursorLevelText(record.dbm[bin], false), "-128 dBm");
    EXPECT_EQ(CursorLevelPosition(cursor.CursorBin, cursor.CursorRow), (GraphPoint{450, 107}));
}

TEST(SpectrumPlot, ThresholdLabelStandsWhereTheTraceStaysBelowItsLine) {
    // -128 .. -90 at 180 / 38 px per dB: the -98 line at row 98, a -90 bin up at row 60.
    SpectrumLevels dbm;
    dbm.fill(-90);
    dbm[0] = -128;
    const SpectrumScale scale = ScaleSpectrum(MeasureSpectrum(dbm), -98);
    EXPECT_EQ(ThresholdLabelPosition(-98, scale, dbm, 45), (GraphPoint{479, 83}));  // no room
    for (int bin = 1; bin < 100; ++bin)
        dbm[bin] = -128;
    // Bins 100.. rise over the line: 4 pixels clear of bin 100 at x 412, 524 - 4k - 45.
    EXPECT_EQ(ThresholdLabelPosition(-98, scale, dbm, 45), (GraphPoint{359, 83}));
}

TEST(SpectrumPlot, ScaleFitsLevelsAndThresholdInto180Pixels) {
    const struct {
        int low, high, threshold;
        int minimum;
        float pixelsPerDb;
        int level, y;
        bool lineShown;
    } cases[] = {
        {-80, -62, -70, -80, 10.0f, -71, 150, true},  // 18 dB: 10 px/dB
        {-80, -62, -70, -80, 10.0f, -62, 60, true},
        {-100, -70, -90, -100, 6.0f, -85, 150, true},  // 30 dB: 6 px/dB
        {-100, -90, -40, -100, 3.0f, -90, 210, true},  // a threshold above stretches the top
        {-100, -90, -40, -100, 3.0f, -40, 60, true},
        {-60, -50, -98, -98, 3.75f, -60, 98, false},   // one below becomes the minimum
        {-60, -50, -60, -60, 10.0f, -50, 140, false},  // one at the lowest level draws no line
    };
    for (const auto& c : cases) {
        SpectrumRecordData record = RecordWithLevels(c.low, c.high);
        SpectrumScale scale = ScaleSpectrum(MeasureSpectrum(record.dbm), c.threshold);
        EXPECT_EQ(scale.minimum, c.minimum) << c.low << ".." << c.high << " " << c.threshold;
        EXPECT_EQ(scale.pixelsPerDb, c.pixelsPerDb) << c.low << ".." << c.high;
        EXPECT_EQ(LevelY(c.level, scale), c.y) << c.level;
        EXPECT_EQ(ThresholdLineShown(c.threshold, scale), c.lineShown) << c.threshold;
    }
    // "Max" keeps the highest level when the threshold stretched the scale.
    EXPECT_EQ(MeasureSpectrum(RecordWithLevels(-100, -90).dbm).maximum, -90);
}

TEST(SpectrumPlot, LevelBelowTheMinimumHasNoHeight) {
    EXPECT_EQ(LevelHeight(-100, -90, 10.0f), 0);
    EXPECT_EQ(LevelHeight(-90, -90, 10.0f), 0);
}

TEST(SpectrumPlot, AverageTruncatesTowardZero) {
    SpectrumRecordData record;
    record.dbm.fill(-1);
    record.dbm[0] = 0;  // sum -127: -0.99 -> 0, not -1
    EXPECT_EQ(MeasureSpectrum(record.dbm).average, 0);
    record.dbm.fill(-128);
    record.dbm[5] = -127;  // sum -16383: -127.99 -> -127
    EXPECT_EQ(MeasureSpectrum(record.dbm).average, -127);
}

TEST(SpectrumPlot, PowerTextPicksTheUnit) {
    const struct {
        int dbm;
        const char* text;
    } cases[] = {
        {0, "1.000 mW"},   {20, "100.000 mW"},  {-30, "1.000 uW"}, {-31, "794.328 nW"},
        {-60, "1.000 nW"}, {-61, "794.328 pW"}, {-98, "0.158 pW"}, {-128, "0.000 pW"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PowerText(c.dbm, kPowerListFormats), c.text) << c.dbm;
}

TEST(SpectrumPlot, ThresholdListItems) {
    const struct {
        int item;
        const char* dbm;
        const char* power;
    } cases[] = {
        {0, "-128 (dBm)", "0.000 pW"}, {30, "-98 (dBm)", "0.158 pW"}, {38, "-90 (dBm)", "1.000 pW"},
        {40, "-88 (dBm)", "1.585 pW"}, {68, "-60 (dBm)", "1.000 nW"}, {128, "0 (dBm)", "1.000 mW"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DbmListText(c.item), c.dbm);
        EXPECT_EQ(ThresholdListText(c.item), c.power);
    }
    EXPECT_EQ(ThresholdForListItem(30), -98);
}

TEST(SpectrumPlot, BinFrequencyOfEveryBandMode) {
    SpectrumRecordData r;
    r.binOffset.mode0[10] = -3;
    r.binOffset.mode2[10] = 2;
    r.binOffset.mode2[120] = -5;
    r.binOffset.shared[70] = 1;
    r.binOffset.shared[71] = -1;
    r.binOffset.shared[100] = 5;
    const struct {
        int mode;
        uint32_t startHz, spacingHz;
        int bin;
        uint32_t hz;
    } cases[] = {
        {0, 6000000, 200000, 10, 9400000},        // 6e6 + 2e5 * (20 - 3)
        {0, 6000000, 200000, 128, 57200000},      // 6e6 + 2e5 * 256
        {2, 800000000, 1000000, 10, 862000000},   // 800e6 + 6 * 1e6 * 10 + 1e6 * 2
        {2, 800000000, 1000000, 120, 955000000},  // 1e6 * (-5 + 1200 - 240)
        {2, 800000000, 1000000, 128, 1040000000},
        {4, 88000000, 100000, 70, 109100000},         // 88e6 + 1e5 * (210 + 1)
        {4, 88000000, 100000, 71, 109200000},         // 88e6 + 1e5 * (284 - 71 - 1)
        {6, 150000, 9000, 70, 1419000},               // 150e3 + 9e3 * (140 + 1): shared table
        {6, 150000, 9000, 71, 1372000},               // the second range's base, offset unused
        {6, 150000, 9000, 127, 1876000},              // 1372e3 + 9e3 * 56
        {9, 2400000000u, 1000000, 100, 2500000000u},  // offsets unused
        {0, 4000000000u, 10000000, 50, 705032704},    // 5e9 wraps at 2^32
    };
    for (const auto& c : cases) {
        r.bandMode = c.mode;
        r.startHz = c.startHz;
        r.spacingHz = c.spacingHz;
        EXPECT_EQ(BinFrequency(r, c.bin), c.hz) << "mode " << c.mode << " bin " << c.bin;
    }
    // A negative offset below the start wraps too: 1000 + 1000 * (0 - 5).
    r.bandMode = 0;
    r.startHz = 1000;
    r.spacingHz = 1000;
    r.binOffset.mode0[0] = -5;
    EXPECT_EQ(BinFrequency(r, 0), 4294963296u);
}

TEST(SpectrumPlot, CursorFrequencyUnitFollowsTheStart) {
    SpectrumRecordData r;
    r.spacingHz = 1000000;
    r.startHz = 999000000;  // MHz even above 1 GHz
    EXPECT_EQ(CursorFrequencyText(r, 100), "1199.000 MHz");
    r.startHz = 1000000000;
    EXPECT_EQ(CursorFrequencyText(r, 10), "1.020 GHz");
    r.startHz = 999999;
    r.spacingHz = 1000;
    EXPECT_EQ(CursorFrequencyText(r, 1), "1001.999 kHz");
}

TEST(SpectrumPlot, CursorTextsMoveAwayFromTheEdges) {
    const struct {
        int bin;
        GraphPoint frequency, level;
    } cases[] = {
        {23, {97, 66}, {102, 82}},
        {24, {8, 82}, {106, 82}},
        {116, {376, 82}, {474, 82}},
        {117, {380, 66}, {403, 82}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CursorFrequencyPosition(c.bin, 100), c.frequency) << c.bin;
        EXPECT_EQ(CursorLevelPosition(c.bin, 100), c.level) << c.bin;
    }
    // Near the top a text that would reach into the header (rows 5..34) goes below the row.
    const struct {
        int bin, row;
        GraphPoint frequency, level;
    } nearTop[] = {{110, 40, {352, 44}, {450, 44}}, {10, 60, {45, 80}, {50, 42}}};
    for (const auto& c : nearTop) {
        EXPECT_EQ(CursorFrequencyPosition(c.bin, c.row), c.frequency) << c.bin;
        EXPECT_EQ(CursorLevelPosition(c.bin, c.row), c.level) << c.bin;
    }
    EXPECT_FALSE(CursorOnBin(2));
    EXPECT_TRUE(CursorOnBin(3));
    EXPECT_TRUE(CursorOnBin(130));
    EXPECT_FALSE(CursorOnBin(131));
}

TEST(SpectrumPlot, BandEdgeLabels) {
    const struct {
        int mode;
        uint32_t startHz, spacingHz;
        const char* start;
        const char* stop;
    } cases[] = {
        {0, 150000, 9000, "150.00 kHz", "2436.0 kHz"},  // stop at bin 127: 150e3 + 9e3 * 254
        {6, 150000, 9000, "150.00 kHz", "1710 kHz"},
        {4, 88000000, 100000, "88.00 MHz", "108.00 MHz"},
        {2, 800000000, 1000000, "800.00 MHz", "1040.00 MHz"},
        {0, 6000000, 200000, "6.00 MHz", "57.20 MHz"},  // stop at bin 128
        {0, 999000000, 1000000, "999.00 MHz", "1255.00 MHz"},
        {9, 2400000000u, 1000000, "2.400 GHz", "2.528 GHz"},
    };
    for (const auto& c : cases) {
        SpectrumRecordData r;
        r.bandMode = c.mode;
        r.startHz = c.startHz;
        r.spacingHz = c.spacingHz;
        EXPECT_EQ(BandStartLabel(r), c.start) << c.start;
        EXPECT_EQ(BandStopLabel(r), c.stop) << c.start;
    }
}

}  // namespace
