#include "sim/virtual_meter.h"

#include <gtest/gtest.h>

#include "sim/factory_calibration.h"

namespace {

constexpr int64_t kStartMs = 600'000;
const MeterTime kStartClock{2026, 12, 7, 14, 30, 0};

MeterSetup MeterAt(const char* model = "ZTX440", int band = 0) {
    MeterSetup setup;
    setup.model = FindModel(model);
    setup.clock = kStartClock;
    setup.startUptimeMs = kStartMs;
    setup.band = band;
    return setup;
}

Bytes B(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes Frame(const std::string& name, const Bytes& params = {}) {
    return BuildFrame(name, params);
}

MeterReply Send(VirtualMeter& meter, const Bytes& frame, int64_t nowMs = kStartMs) {
    FrameReader reader;
    auto frames = reader.Feed(frame, nowMs);
    EXPECT_EQ(frames.size(), 1u);
    return frames.empty() ? MeterReply{} : meter.Handle(frames[0], nowMs);
}

Bytes WithTrailer(Bytes bytes) {
    bytes.push_back(0xAA);
    return bytes;
}

int32_t LittleEndian32(const Bytes& b, size_t at) {
    return static_cast<int32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 |
                                static_cast<uint32_t>(b[at + 3]) << 24);
}

TEST(VirtualMeter, NamesItsModelAndRevision) {
    const std::pair<const char*, const char*> cases[] = {
        {"ZTX420", "ZTX420Re 1.30"}, {"ZTX420+", "ZTX420+Re 2.21"}, {"ZTX430", "ZTX430Re 3.10"},
        {"ZTX440", "ZTX440Re 3.62"}, {"VXQ", "VXQRe 3.62"},         {"ZTX-8800", "ZTX-8800Re 2.05"},
        {"TKL", "TKLRe 1.12"},
    };
    for (auto [model, text] : cases) {
        VirtualMeter meter(MeterAt(model));
        EXPECT_EQ(Send(meter, Frame("GETVER")).bytes, B(text)) << model;
    }
    MeterSetup odd = MeterAt();
    odd.versionText = "VXQ ZTX430 no revision";
    VirtualMeter meter(odd);
    EXPECT_EQ(Send(meter, Frame("GETVER")).bytes, B("VXQ ZTX430 no revision"));
}

TEST(VirtualMeter, FieldBlockHoldsTheLastSixtySecondsOldestFirst) {
    VirtualMeter meter(MeterAt());
    const int64_t now = kStartMs + 1'500;  // uptime second 601
    Bytes block = Send(meter, Frame("GETEMFDATA"), now).bytes;
    ASSERT_EQ(block.size(), 1201u);
    EXPECT_EQ(block[1200], 0xAA);
    for (int k = 0; k < 60; ++k) {
        const size_t at = static_cast<size_t>(20 * k);
        EXPECT_EQ(LittleEndian32(block, at), 542 + k);  // 601 - 59 + k
        const auto counts = meter.CountsAt(542 + k);
        for (size_t i = 0; i < 4; ++i)
            EXPECT_EQ(LittleEndian32(block, at + 4 + 4 * i), counts[i]);
    }
}

// Read back through the calibration of the meter's own revision, the counts give the field
// around the meter to within the sensor's resolution (a count's worth plus a count of noise).
TEST(VirtualMeter, CountsReadBackAsTheFieldAroundTheMeter) {
    for (const char* model : {"ZTX420", "ZTX430", "ZTX440"}) {
        VirtualMeter meter(MeterAt(model));
        FieldEnvironment environment(DefaultScene(), 1);
        for (int64_t second = 540; second < 600; ++second) {
            const FieldSample field = environment.At(second);
            const auto counts = meter.CountsAt(second);
            const float rev = meter.revision();
            EXPECT_NEAR(VoltsPerMetreForCount(rev, counts[0]), field.efVm, field.efVm * 0.05 + 2.1)
                << model;
            EXPECT_NEAR(MilligaussForCount(rev, counts[1]), field.xMg, field.xMg * 0.05 + 0.15)
                << model;
            EXPECT_NEAR(MilligaussForCount(rev, counts[3]), field.zMg, field.zMg * 0.05 + 0.15)
                << model;
        }
    }
}

TEST(VirtualMeter, HomeSceneReadsLikeAHome) {
    FieldEnvironment environment(DefaultScene(), 1);
    double emfLow = 1e9, emfHigh = 0, efLow = 1e9, efHigh = 0;
    for (int64_t second = 0; second < 3600; ++second) {
        const FieldSample s = environment.At(second);
        emfLow = std::min(emfLow, s.TotalMg());
        emfHigh = std::max(emfHigh, s.TotalMg());
        efLow = std::min(efLow, s.efVm);
        efHigh = std::max(efHigh, s.efVm);
    }
    EXPECT_GT(emfLow, 0.3);
    EXPECT_LT(emfHigh, 20.0);
    EXPECT_GT(emfHigh, 3.0);  // an appliance ran at some time in the hour
    EXPECT_GT(efLow, 5.0);
    EXPECT_LT(efHigh, 120.0);
}

TEST(VirtualMeter, SpectrumRecordCarriesTheBandBigEndian) {
    VirtualMeter meter(MeterAt("ZTX440", 4));
    Bytes record = Send(meter, Frame("GETBANDDATAHEX")).bytes;
    ASSERT_EQ(record.size(), 269u);
    // 88,000,000 Hz = 0x053EC600; 150,000 = 0x000249F0; 45,350 = 0x0000B126.
    EXPECT_EQ(
        Bytes(record.begin() + 128, record.begin() + 141),
        (Bytes{0x05, 0x3E, 0xC6, 0x00, 0x00, 0x02, 0x49, 0xF0, 0x00, 0x00, 0xB1, 0x26, 0x04}));
    EXPECT_EQ(Bytes(record.begin() + 141, record.end()), Bytes(128, 0));
    SweepLevels levels;
    std::copy(record.begin(), record.begin() + 128, reinterpret_cast<uint8_t*>(levels.data()));
    EXPECT_GT(PeakDbm(levels), -70);  // the FM stations are strong
    EXPECT_LT(PeakDbm(levels), 0);
}

TEST(VirtualMeter, SweepsFindTheAirALittleDifferentEachTime) {
    VirtualMeter meter(MeterAt());
    Bytes first = Send(meter, Frame("GETBANDDATAHEX")).bytes;
    Bytes second = Send(meter, Frame("GETBANDDATAHEX")).bytes;
    EXPECT_NE(Bytes(first.begin(), first.begin() + 128),
              Bytes(second.begin(), second.begin() + 128));
}

// Hand-worked from the layout rules: the meter's bins stand where the program will put them.
TEST(VirtualMeter, BinsLieWhereTheBandModeSaysTheyDo) {
    struct Case {
        int mode, bin;
        uint32_t hz;
    };
    const Case cases[] = {
        {0, 1, 2'400'800'000u},   // f0 + s x 2b
        {2, 119, 954'000'000},    // 240 MHz + 6 x 1 MHz x 119
        {2, 120, 960'000'000},    // 1 MHz x (10 x 120 - 240)
        {2, 128, 1'040'000'000},  // the stop label of this mode
        {4, 70, 97'523'500},      // 88 MHz + 45,350 x 210
        {4, 71, 97'659'550},      // 88 MHz + 45,350 x (284 - 71)
        {4, 128, 107'999'350},    // about the 108 MHz stop label
        {6, 70, 1'370'000},       // 530 kHz + 6 kHz x 140
        {6, 71, 1'372'000},      {6, 127, 1'708'000}, {5, 8, 864'000'000},  // f0 + s x b
    };
    for (const Case& c : cases)
        EXPECT_EQ(BinHz(*FindBand(c.mode), c.bin), c.hz) << c.mode << "/" << c.bin;
}

TEST(VirtualMeter, ClockTakesTheTimeAndRunsOn) {
    VirtualMeter meter(MeterAt());
    EXPECT_EQ(Send(meter, Frame("SETDATETIME", {0x1A, 0x0C, 0x1F, 0x17, 0x3B, 0x3B})).bytes,
              Bytes{0xAA});
    EXPECT_EQ(Send(meter, Frame("GETDATETIME"), kStartMs + 1'000).bytes,
              WithTrailer({0x1B, 0x01, 0x01, 0x00, 0x00, 0x00}));  // 2027-01-01 00:00:00
}

TEST(VirtualMeter, ClockRefusesADateThatDoesNotExist) {
    VirtualMeter meter(MeterAt());
    for (Bytes wrong :
         {Bytes{26, 13, 1, 0, 0, 0}, Bytes{26, 2, 29, 0, 0, 0}, Bytes{26, 1, 1, 24, 0, 0}})
        EXPECT_EQ(Send(meter, Frame("SETDATETIME", wrong)).bytes, Bytes{0x00});
    EXPECT_EQ(meter.ClockNow(kStartMs), kStartClock);
}

TEST(VirtualMeter, ModelsWithoutAFeatureStaySilentToIt) {
    struct Case {
        const char* model;
        Bytes frame;
        bool answers;
    };
    const Case cases[] = {
        {"ZTX420", Frame("SETDATETIME", {26, 1, 1, 0, 0, 0}), false},
        {"ZTX420", Frame("GETBANDDATAHEX"), false},
        {"ZTX420", Frame("SPIR", {0, 0, 0, 0x10, 0}), false},
        {"ZTX420", Frame("GETSSN1"), false},
        {"ZTX420+", Frame("GETBANDDATAHEX"), true},
        {"ZTX430", Frame("SETDATETIME", {26, 1, 1, 0, 0, 0}), true},
        {"ZTX430", Frame("GETSSN1"), false},
        {"ZTX-8800", Frame("GETBANDDATAHEX"), false},
        {"ZTX-8800", Frame("SPIR", {0, 0, 0, 0x10, 0}), true},
        {"TKL", Frame("SPIR", {0, 0, 0, 0x10, 0}), false},
        {"TKL", Frame("GETSS1"), true},
    };
    for (const Case& c : cases) {
        VirtualMeter meter(MeterAt(c.model));
        EXPECT_EQ(!Send(meter, c.frame).bytes.empty(), c.answers)
            << c.model << " " << PrintableString(c.frame.data(), c.frame.size());
    }
}

TEST(VirtualMeter, StoredScreenshotsAnswerWithTheirTimeAndPixels) {
    VirtualMeter meter(MeterAt());
    // The first was taken 2 days 3:17:09 before 2026-12-07 14:30:00.
    EXPECT_EQ(Send(meter, Frame("GETSSN1")).bytes,
              WithTrailer({0x1A, 0x0C, 0x05, 0x0B, 0x0C, 0x33}));
    EXPECT_EQ(Send(meter, Frame("GETSSN4")).bytes, WithTrailer(Bytes(6, 0xFF)));
    Bytes pixels = Send(meter, Frame("GETSS1")).bytes;
    ASSERT_EQ(pixels.size(), 1025u);
    EXPECT_EQ(pixels[1024], 0xAA);
    EXPECT_NE(Bytes(pixels.begin(), pixels.end() - 1), Bytes(1024, 0));
    EXPECT_EQ(Send(meter, Frame("GETSS4")).bytes, WithTrailer(Bytes(1024, 0)));
}

TEST(VirtualMeter, HoldingDownSavesTheScreenInTheNextFreeSlot) {
    VirtualMeter meter(MeterAt());
    const int64_t now = kStartMs + 5'000;
    Bytes shown = meter.Screen(now).Pack();
    EXPECT_TRUE(Send(meter, Frame("KEYHOLD1"), now).bytes.empty());
    EXPECT_EQ(Send(meter, Frame("GETSSN4"), now).bytes,
              WithTrailer({0x1A, 0x0C, 0x07, 0x0E, 0x1E, 0x05}));
    EXPECT_EQ(Send(meter, Frame("GETSS4"), now).bytes, WithTrailer(shown));
    EXPECT_NE(meter.Screen(now).Pack(), shown);  // the "saved" notice is over the picture now
}

TEST(VirtualMeter, KeysStepThroughTheViewsAndTheMenu) {
    VirtualMeter meter(MeterAt());
    Bytes emf = meter.Screen(kStartMs).Pack();
    Send(meter, Frame("KEY1"));
    EXPECT_EQ(meter.panel().view(), View::Ef);
    EXPECT_NE(meter.Screen(kStartMs).Pack(), emf);
    Send(meter, Frame("KEY2"));
    EXPECT_EQ(meter.panel().view(), View::Emf);
    EXPECT_EQ(meter.Screen(kStartMs).Pack(), emf);
    Send(meter, Frame("KEY3"));
    EXPECT_EQ(meter.panel().page(), Page::Menu);
    Send(meter, Frame("KEY0"));
    EXPECT_EQ(meter.panel().page(), Page::Reading);
}

TEST(VirtualMeter, LoggingFromTheMenuAddsAReadingEverySecond) {
    VirtualMeter meter(MeterAt());
    const uint32_t before = meter.history().LogEnd();
    for (const char* key : {"KEY3", "KEY1", "KEY3"})
        Send(meter, Frame(key));  // Menu, Logging, on
    ASSERT_TRUE(meter.logging());
    meter.Advance(kStartMs + 3'000);
    const uint8_t* m = meter.history().Data() + before;
    EXPECT_EQ(Bytes(m, m + 8),
              (Bytes{0x55, 0xAA, 0x1A, 0x0C, 0x07, 0x0E, 0x1E, 0x01}));  // 14:30:01
    uint32_t at = 8;
    for (int reading = 0; reading < 3; ++reading) {
        ASSERT_EQ(Bytes(m + at, m + at + 2), (Bytes{0xAA, 0x55})) << reading;
        at += m[at + 12] == 0x5A ? 14 : 12;
    }
    EXPECT_EQ(meter.history().LogEnd(), before + at);
}

TEST(VirtualMeter, SwitchedOffItShowsADarkScreenAndIgnoresCommands) {
    VirtualMeter meter(MeterAt());
    Send(meter, Frame("KEYHOLD3"));
    EXPECT_FALSE(meter.poweredOn());
    EXPECT_EQ(Send(meter, Frame("GETSCREEN")).bytes, WithTrailer(Bytes(1024, 0)));
    EXPECT_TRUE(Send(meter, Frame("GETEMFDATA")).bytes.empty());
    EXPECT_FALSE(Send(meter, Frame("GETVER")).bytes.empty());
    Send(meter, Frame("KEYHOLD3"), kStartMs + 100);
    EXPECT_TRUE(meter.poweredOn());
    LcdCanvas start;
    DrawStartScreen(start, meter.model(), "3.62");
    EXPECT_TRUE(meter.Screen(kStartMs + 100) == start);
    Send(meter, Frame("KEY1"), kStartMs + 200);  // not read while starting
    EXPECT_EQ(meter.panel().view(), View::Emf);
    EXPECT_FALSE(meter.Screen(kStartMs + 2'100) == start);
}

TEST(VirtualMeter, RestartKeepsItSilentForAMoment) {
    VirtualMeter meter(MeterAt());
    Send(meter, Frame("REBOOT"));
    EXPECT_TRUE(Send(meter, Frame("GETVER"), kStartMs + 1'400).bytes.empty());
    EXPECT_FALSE(Send(meter, Frame("GETVER"), kStartMs + 1'500).bytes.empty());
}

TEST(VirtualMeter, EchoRepeatsEachFrameAheadOfItsReply) {
    VirtualMeter meter(MeterAt());
    Send(meter, Frame("EchoON"));
    Bytes expected = Frame("GETVER");
    const Bytes text = B("ZTX440Re 3.62");
    expected.insert(expected.end(), text.begin(), text.end());
    EXPECT_EQ(Send(meter, Frame("GETVER")).bytes, expected);
    Send(meter, Frame("EchoOFF"));
    EXPECT_EQ(Send(meter, Frame("GETVER")).bytes, text);
}

TEST(VirtualMeter, MemoryReadsServeTheLogInBlocksOfAtMost4096) {
    VirtualMeter meter(MeterAt());
    EXPECT_EQ(Send(meter, Frame("SPIR", {0x00, 0x10, 0x00, 0x10, 0x00})).bytes,
              meter.history().Read(0x1000, 4096));
    EXPECT_EQ(Send(meter, Frame("SPIR", {0x00, 0x00, 0x00, 0x00, 0xFF})).bytes.size(), 255u);
    EXPECT_EQ(Send(meter, Frame("SPIR", {0x00, 0x00, 0x00, 0x20, 0x00})).bytes.size(), 4096u);
    EXPECT_EQ(Send(meter, Frame("SPIR", {0x0F, 0xF0, 0x00, 0x10, 0x00})).bytes, Bytes(4096, 0xFF));
}

TEST(VirtualMeter, TerminalCanEraseAndWriteTheMemory) {
    VirtualMeter meter(MeterAt());
    EXPECT_EQ(Send(meter, Frame("SPISE", {0x00, 0x00, 0x00})).bytes, Bytes{0xAA});
    EXPECT_EQ(meter.history().Read(0, 4096), Bytes(4096, 0xFF));
    EXPECT_EQ(Send(meter, Frame("SPIPW", {0x00, 0x00, 0x00, 0x00, 0x02, 0x55, 0xAA})).bytes,
              Bytes{0xAA});
    EXPECT_EQ(meter.history().Read(0, 3), (Bytes{0x55, 0xAA, 0xFF}));
}

TEST(VirtualMeter, HeartbeatSendsOneByteEverySecond) {
    VirtualMeter meter(MeterAt());
    meter.Advance(kStartMs);
    Send(meter, Frame("HEARTBEAT1"));
    EXPECT_EQ(meter.Advance(kStartMs + 3'000), Bytes(3, kHeartbeat));
    Send(meter, Frame("HEARTBEAT0"), kStartMs + 3'000);
    EXPECT_TRUE(meter.Advance(kStartMs + 6'000).empty());
}

TEST(VirtualMeter, EmptySlotsHoldNothingAndTheOthersAScreenshot) {
    MeterSetup setup = MeterAt();
    setup.emptySlots = 0b0101;  // slots 1 and 3
    VirtualMeter meter(setup);
    for (int slot = 1; slot <= 4; ++slot) {
        const Bytes info = Send(meter, Frame("GETSSN" + std::to_string(slot))).bytes;
        ASSERT_EQ(info.size(), 7u) << slot;
        EXPECT_EQ(info[0] == 0xFF, slot == 1 || slot == 3) << slot;
        EXPECT_EQ(info[6], 0xAA) << slot;
    }
}

TEST(VirtualMeter, TerminalReadingsComeAsLinesOfText) {
    VirtualMeter meter(MeterAt());
    for (const char* name :
         {"GETSERIAL", "GETVOLT", "GETTEMP", "GETEMF", "GETEF", "GetRAM", "GETCPM"}) {
        const Bytes reply = Send(meter, Frame(name)).bytes;
        ASSERT_GE(reply.size(), 3u) << name;
        EXPECT_EQ(Bytes(reply.end() - 2, reply.end()), B("\r\n")) << name;
    }
    EXPECT_EQ(Send(meter, Frame("GETCPM")).bytes, B("0\r\n"));
}

}  // namespace
