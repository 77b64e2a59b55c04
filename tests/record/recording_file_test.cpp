// Recording files written and read back: whole lines, times with their offset, gaps kept.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "record/recording_file.h"
#include "record/recording_reader.h"
#include "tests/support/file_text.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zone_scope.h"

namespace {

constexpr int64_t kNoon = 1796731200;  // 2026-12-08 12:00:00 UTC

TEST(RecordingFile, TimesCarryTheirOffsetAndReadBack) {
    struct Case {
        const char* zone;
        const char* text;
    };
    const Case cases[] = {
        {"UTC0", "2026-12-08T12:00:00+00:00"},
        {"CET-1", "2026-12-08T13:00:00+01:00"},
        {"IST-5:30", "2026-12-08T17:30:00+05:30"},
        {"NST3:30", "2026-12-08T08:30:00-03:30"},
    };
    for (const Case& c : cases) {
        ZoneScope zone(c.zone);
        EXPECT_EQ(IsoLocalTime(kNoon), c.text) << c.zone;
        int64_t back = 0;
        EXPECT_TRUE(ParseIsoTime(c.text, &back));
        EXPECT_EQ(back, kNoon) << c.zone;
    }
    int64_t time = 0;
    EXPECT_TRUE(ParseIsoTime("2026-12-08T12:00:00Z", &time));
    EXPECT_EQ(time, kNoon);
    for (const char* bad : {"2026-12-08T12:00:00", "2026-13-08T12:00:00Z", "2026-12-08T12:00:00+1",
                            "2026-12-08T12:00:00+01:0", "2026-12-08T12:00:00+01:000",
                            "2026-12-08T12:0a:00Z", "2026-02-31T12:00:00Z", "2025-02-29T12:00:00Z",
                            "2026-12-08T12:00:00+99:99", "2026-12-08T12:00:00+01:60"})
        EXPECT_FALSE(ParseIsoTime(bad, &time)) << bad;
    EXPECT_FALSE(ParseIsoTime(std::string("2026-12-08T12:00:00Z\0junk", 25), &time));
}

TEST(RecordingFile, ACutOffLastLineIsDroppedAndTheRestReadsBack) {
    TempDir dir;
    const std::string path = dir.File("field.csv");
    RecordingFile file;
    std::string error;
    ASSERT_TRUE(file.Create(path, std::string(kFieldRecordingHeader) + "\n", &error)) << error;
    std::string lines;
    for (int64_t t : {kNoon, kNoon + 1, kNoon + 5})
        lines += FieldCsvLine({t, 0.24999997f, 1.5f, 2.0f, 2.503f, 28.956f});
    EXPECT_EQ(lines.substr(lines.find(','), 32), ",0.250,1.500,2.000,2.503,28.956\n");
    // A row as older recordings wrote it, every digit of the float.
    lines += "2026-12-08T12:00:06+00:00,0.24999997,1.5,2.0,2.503,28.956\n";
    ASSERT_TRUE(file.Append(lines, 0, &error)) << error;
    ASSERT_TRUE(file.Close(&error)) << error;
    std::ofstream(path, std::ios::app) << "2026-12-08T12:00:07+00:00,0.1";  // killed mid-write

    RecordingKind kind{};
    TimeSeries series;
    SpectrumSeries spectrum;
    ASSERT_TRUE(LoadRecording(path, &kind, &series, &spectrum, &error)) << error;
    EXPECT_EQ(kind, RecordingKind::Field);
    ASSERT_EQ(series.times.size(), 4u);
    EXPECT_EQ(series.times[2], kNoon + 5);
    EXPECT_EQ(series.columns[series.Column("x_mg")][3], 0.24999997f);
    EXPECT_FALSE(series.GapBefore(1));
    EXPECT_TRUE(series.GapBefore(2));
    EXPECT_EQ(series.columns[series.Column("emf_mg")][0], 2.503f);
    EXPECT_EQ(series.columns[series.Column("ef_vm")][0], 28.956f);

    RecordingFile again;
    EXPECT_FALSE(again.Create(path, "time\n", &error));  // never over an existing file
    EXPECT_EQ(error, path + ": File exists");
    EXPECT_NE(ReadFile(path).find("28.956"), std::string::npos);
    // Unless the user said to replace it; never a folder.
    ASSERT_TRUE(again.Create(path, "time\n", &error, RecordingFile::Existing::Replace)) << error;
    ASSERT_TRUE(again.Close(&error)) << error;
    EXPECT_EQ(ReadFile(path), "time\n");
    RecordingFile folder;
    EXPECT_FALSE(folder.Create(dir.Path(), "time\n", &error, RecordingFile::Existing::Replace));
    EXPECT_EQ(error, dir.Path() + ": Not a regular file");
}

TEST(RecordingFile, ADeletedFileIsWrittenAgainAndAMovedOneFails) {
    const std::string header = "time\n";
    struct Case {
        const char* name;
        void (*change)(const std::string& path);
        bool goesOn;
        const char* leftAtPath;
    };
    const Case cases[] = {
        {"deleted", [](const std::string& p) { std::remove(p.c_str()); }, true, "time\na\nb\n"},
        {"moved", [](const std::string& p) { std::rename(p.c_str(), (p + "2").c_str()); }, false,
         ""},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string path = dir.File("rec.csv");
        RecordingFile file;
        std::string error;
        ASSERT_TRUE(file.Create(path, header, &error) && file.Append("a\n", 0, &error)) << error;
        c.change(path);
        EXPECT_EQ(file.Append("b\n", 0, &error) && file.Close(&error), c.goesOn) << c.name;
        EXPECT_EQ(file.NameLost(), !c.goesOn) << c.name;
        EXPECT_EQ(file.TakeNotice().empty(), !c.goesOn) << c.name;
        EXPECT_EQ(ReadFile(path), c.leftAtPath) << c.name;
    }
}

TEST(RecordingReader, RefusesWhatIsNotWhole) {
    const std::string header = std::string(kFieldRecordingHeader) + "\n";
    const std::string good = "2026-12-08T12:00:00+00:00,1,2,3,4,5\n";
    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"a short row", header + good + "2026-12-08T12:00:01+00:00,1,2,3,4\n" + good},
        {"not a number", header + "2026-12-08T12:00:01+00:00,1,2,x,4,5\n"},
        {"a comma decimal", header + "2026-12-08T12:00:01+00:00,1,2,3,4,5,5\n"},
        {"time going back", header + "2026-12-08T12:00:05+00:00,1,2,3,4,5\n" + good},
        {"another header", "time,a,b\n" + good},
    };
    for (const Case& c : cases) {
        TimeSeries series;
        std::string error;
        EXPECT_FALSE(ParseFieldRecording(c.text, &series, &error)) << c.name;
        EXPECT_NE(error.find("line "), std::string::npos) << c.name;
    }
}

TEST(RecordingReader, SpectrumSectionsKeepTheirOwnBins) {
    SpectrumRow row;
    row.time = kNoon;
    for (int bin = 0; bin < kSpectrumBins; ++bin) {
        row.frequencyHz[bin] = 2400000000u + 400000u * static_cast<uint32_t>(bin);
        row.dbm[bin] = static_cast<int8_t>(-100 + bin % 50);
    }
    SpectrumRow moved = row;
    moved.time = kNoon + 1;
    moved.frequencyHz[0] = 88000000u;
    const std::string text = SpectrumCsvHeader(row) + SpectrumCsvLine(row) +
                             SpectrumCsvHeader(moved) + SpectrumCsvLine(moved) +
                             SpectrumCsvLine(moved);  // two sweeps in one second
    SpectrumSeries series;
    std::string error;
    ASSERT_TRUE(ParseSpectrumRecording(text, &series, &error)) << error;
    ASSERT_EQ(series.rows.size(), 3u);
    EXPECT_EQ(series.rows[0].frequencyHz[0], 2400000000u);
    EXPECT_EQ(series.rows[1].frequencyHz[0], 88000000u);
    EXPECT_EQ(series.rows[1].frequencyHz[1], 2400400000u);
    EXPECT_EQ(series.rows[1].dbm, row.dbm);
}

TEST(RecordingReader, HistoryTableInEitherDateStyle) {
    ZoneScope zone("UTC0");
    const std::string text =
        "ZTX-440 Data Logged History\r\n,EMF,EF,RF Power Density\r\n"
        "Date and Time,mG,V/m,mW/m2,mW/cm2,pW/cm2, Possible Source\r\n"
        "2026/12/08 11:59:00\r\n"
        "2026/12/08 12:00:00,1.2,18.5,0.009,0.000,900.000,\r\n"
        "2026-12-08 12:00:01,0.9,17.0,0.200,0.000,20000.000,Smart Meter\r\n"
        "2026/12/08 12:00:04,1.0,17.0,0.009,0.000,900.000,\r\n";
    TimeSeries series;
    std::string error;
    ASSERT_TRUE(ParseHistoryCsv(text, &series, &error)) << error;
    ASSERT_EQ(series.times.size(), 3u);
    EXPECT_EQ(series.times[0], kNoon);
    EXPECT_EQ(series.columns[series.Column("rf_pw_cm2")][1], 20000.0f);
    EXPECT_EQ(series.sources[1], "Smart Meter");
    EXPECT_TRUE(series.GapBefore(2));
}

TEST(RecordingReader, HistoryDumpReadsAsItsTable) {
    ZoneScope zone("UTC0");
    TempDir dir;
    // A time stamp, then two readings: 1.2 mG, 18.5 V/m, 900 pW/cm² each.
    const unsigned char dump[] = {0x55, 0xAA, 26,   12,   8,    12,   0,    0,    0xAA, 0x55, 0x00,
                                  0x12, 0x00, 0x00, 0x94, 0x41, 0x00, 0x00, 0x61, 0x44, 0xAA, 0x55,
                                  0x00, 0x12, 0x00, 0x00, 0x94, 0x41, 0x00, 0x00, 0x61, 0x44};
    std::ofstream(dir.File("log.bin"), std::ios::binary)
        .write(reinterpret_cast<const char*>(dump), sizeof dump);
    RecordingKind kind{};
    TimeSeries series;
    SpectrumSeries spectrum;
    std::string error;
    ASSERT_TRUE(LoadRecording(dir.File("log.bin"), &kind, &series, &spectrum, &error)) << error;
    EXPECT_EQ(kind, RecordingKind::History);
    ASSERT_EQ(series.times.size(), 2u);
    EXPECT_EQ(series.times[0], kNoon);
    EXPECT_EQ(series.times[1], kNoon + 1);
    EXPECT_FLOAT_EQ(series.columns[series.Column("emf_mg")][0], 1.2f);
    EXPECT_FLOAT_EQ(series.columns[series.Column("ef_vm")][1], 18.5f);
    EXPECT_FLOAT_EQ(series.columns[series.Column("rf_pw_cm2")][1], 900.0f);
}

}  // namespace
