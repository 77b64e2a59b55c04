// The station's meters: side by side on virtual meters (in process, on their own virtual clocks)
// and on real ones on pseudo-terminals, one of them pulled and plugged in again.

#include "station/station.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "link/command_frame.h"
#include "link/local_time.h"
#include "record/recording_file.h"
#include "station/secret_file.h"
#include "tests/station/virtual_meter_link.h"
#include "tests/support/file_text.h"
#include "tests/support/meter_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unplugging_meter.h"
#include "tests/support/virtual_clock.h"
#include "tests/support/wait_until.h"

namespace {

constexpr int kWaitMs = 20000;

// The events as they came, "up meter", "down meter", ..., safe to read from the test's thread.
struct EventLog {
    explicit EventLog(Station& station) {
        station.Subscribe([this](const StationEvent& event) {
            static const char* const kWords[] = {"reading", "spectrum", "up", "down"};
            std::lock_guard lock(mutex);
            if (event.kind != StationEventKind::Reading)
                lines.push_back(std::string(kWords[static_cast<int>(event.kind)]) + " " +
                                event.meter);
        });
    }
    std::vector<std::string> Lines() {
        std::lock_guard lock(mutex);
        return lines;
    }
    int Count(const std::string& line) {
        const std::vector<std::string> all = Lines();
        return static_cast<int>(std::count(all.begin(), all.end(), line));
    }
    std::mutex mutex;
    std::vector<std::string> lines;
};

MeterSnapshot Snap(const Station& station, const std::string& name) {
    return station.Snapshot(name).value_or(MeterSnapshot{});
}

void ExpectEverySecondOnce(const std::vector<FieldRow>& rows) {
    for (size_t i = 1; i < rows.size(); ++i)
        ASSERT_EQ(rows[i].time, rows[i - 1].time + 1) << "row " << i;
}

TEST(Station, TwoMetersSideBySideKeepEverySecondOnceWithinTheirBound) {
    TempDir dir;
    VirtualMeterLink a({"--fast", "--model", "ZTX440"});
    VirtualMeterLink b({"--fast", "--model", "ZTX420", "--log", dir.File("b.log")});
    StationOptions options;
    options.keepRowsSeconds = 100;
    Station station(options);
    station.AddMeter("a", VirtualMeterLink::Device(), a.Link());
    station.AddMeter("b", VirtualMeterLink::Device(), b.Link());
    station.Start();
    ASSERT_TRUE(WaitUntil(
        [&] {
            return Snap(station, "a").lastReadingTime > VirtualClock::kWallStartMs / 1000 + 300 &&
                   Snap(station, "b").lastReadingTime > VirtualClock::kWallStartMs / 1000 + 300 &&
                   Snap(station, "a").spectrum;
        },
        kWaitMs));
    const MeterSnapshot first = Snap(station, "a");
    const MeterSnapshot second = Snap(station, "b");
    station.Stop();
    EXPECT_EQ(station.Names(), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(first.model, "ZTX440");
    EXPECT_EQ(second.model, "ZTX420");
    EXPECT_TRUE(first.up && second.up && first.reading && second.reading && first.hasSpectrum);
    EXPECT_FALSE(second.hasSpectrum || second.spectrum);  // a model without sweeps is never swept
    EXPECT_EQ(ReadFile(dir.File("b.log")).find(HexString(BuildFrame("GETBANDDATAHEX"))),
              std::string::npos);
    EXPECT_EQ(first.exchangesNoReply + first.exchangesError, 0u);
    for (const char* name : {"a", "b"}) {
        const std::vector<FieldRow> rows = station.Rows(name, 0);
        EXPECT_EQ(rows.size(), 100u) << name;
        ExpectEverySecondOnce(rows);
        EXPECT_EQ(station.Rows(name, rows.back().time).size(), 1u);
    }
    EXPECT_FALSE(station.Snapshot("c"));
    EXPECT_EQ(station.PressKey("c", StationKey::Up), Station::KeyResult::UnknownMeter);
}

// Replies that are silent, late past the fetch's bound, or garbage give no reading: the meter is
// down, counted as not answering, and keeps no row.
TEST(Station, ABrokenFieldReplyGivesNoReading) {
    for (const char* fault :
         {"GETEMFDATA:silent", "GETEMFDATA:late=5000", "GETEMFDATA:garbage", "GETEMFDATA:short"}) {
        VirtualMeterLink meter({"--fast", "--fault", fault});
        Station station({});
        EventLog events(station);
        station.AddMeter("m", VirtualMeterLink::Device(), meter.Link());
        station.Start();
        EXPECT_TRUE(WaitUntil([&] { return Snap(station, "m").exchangesNoReply >= 3; }, kWaitMs));
        const MeterSnapshot snapshot = Snap(station, "m");
        station.Stop();
        EXPECT_FALSE(snapshot.up || snapshot.reading || snapshot.screen) << fault;
        EXPECT_EQ(snapshot.lastReadingTime, 0) << fault;
        EXPECT_TRUE(station.Rows("m", 0).empty()) << fault;
        EXPECT_EQ(events.Lines(), (std::vector<std::string>{"up m", "down m"})) << fault;
        EXPECT_EQ(station.PressKey("m", StationKey::Up), Station::KeyResult::MeterDown);
    }
}

TEST(Station, RecordsADayFileBesideOneAlreadyThere) {
    TempDir dir;
    VirtualMeterLink meter({"--fast"});
    const std::string day = IsoLocalTime(VirtualClock::kWallStartMs / 1000 - 59).substr(0, 10);
    const std::string taken = dir.File("m-" + day + ".csv");
    std::ofstream(taken) << "kept\n";
    StationOptions options;
    options.recordDir = dir.Path();
    Station station(options);
    station.AddMeter("m", VirtualMeterLink::Device(), meter.Link());
    station.Start();
    ASSERT_TRUE(WaitUntil([&] { return station.Rows("m", 0).size() >= 90; }, kWaitMs));
    station.Stop();
    std::string expected = std::string(kFieldRecordingHeader) + "\n";
    for (const FieldRow& row : station.Rows("m", 0))
        expected += FieldCsvLine(row);
    EXPECT_EQ(ReadFile(taken), "kept\n");
    EXPECT_EQ(ReadFile(dir.File("m-" + day + "-2.csv")), expected);
    EXPECT_TRUE(Snap(station, "m").recordingError.empty());
}

// Real meters on pseudo-terminals: one pulled and plugged in again is down and then up, the
// other goes on undisturbed and takes a key; the station ends within about a second.
TEST(Station, AnUnpluggedMeterComesBackWhileTheOtherGoesOn) {
    TempDir dir;
    const UnpluggingMeter pulled(dir, 6, 1500);
    MeterProcess steady({"--fast", "--log", dir.File("steady.log")});
    ASSERT_TRUE(pulled.Started() && !steady.DevicePath().empty());
    MeterLink pulledLink;
    MeterLink steadyLink;
    Station station({});
    EventLog events(station);
    station.AddMeter("pulled", pulled.Link(), pulledLink);
    station.AddMeter("steady", steady.DevicePath(), steadyLink);
    station.Start();
    EXPECT_TRUE(WaitUntil([&] { return events.Count("up pulled") == 2; }, kWaitMs))
        << testing::PrintToString(events.Lines());
    EXPECT_TRUE(WaitUntil([&] { return Snap(station, "pulled").reading.has_value(); }, kWaitMs));
    EXPECT_EQ(events.Count("down pulled"), 1);
    EXPECT_EQ(events.Count("up steady"), 1);
    EXPECT_EQ(events.Count("down steady"), 0);
    EXPECT_GT(Snap(station, "pulled").exchangesError, 0u);
    EXPECT_EQ(Snap(station, "steady").exchangesError + Snap(station, "steady").exchangesNoReply,
              0u);
    ExpectEverySecondOnce(station.Rows("steady", 0));

    EXPECT_EQ(station.PressKey("steady", StationKey::Up), Station::KeyResult::Sent);
    const std::string key = HexString(BuildFrame("KEY2"));
    EXPECT_TRUE(WaitUntil(
        [&] { return ReadFile(dir.File("steady.log")).find(key) != std::string::npos; }, kWaitMs));
    const int64_t stopping = NowMs();
    station.Stop();
    EXPECT_LT(NowMs() - stopping, 1200);
}

TEST(Station, KeysByTheirWords) {
    struct Case {
        const char* word;
        bool hold;
        bool known;
        StationKey key;
    };
    const Case cases[] = {
        {"back", false, true, StationKey::Back},
        {"down", false, true, StationKey::Down},
        {"up", false, true, StationKey::Up},
        {"select", false, true, StationKey::Select},
        {"down", true, true, StationKey::HoldDown},
        {"up", true, true, StationKey::HoldUp},
        {"select", true, true, StationKey::HoldSelect},
        {"back", true, false, StationKey::Back},
        {"Up", false, false, StationKey::Back},
        {"", false, false, StationKey::Back},
    };
    for (const Case& c : cases) {
        StationKey key = StationKey::Back;
        EXPECT_EQ(ParseStationKey(c.word, c.hold, &key), c.known) << c.word;
        EXPECT_EQ(key, c.key) << c.word;
    }
}

TEST(SecretFile, OnlyTheOwnersFirstLine) {
    TempDir dir;
    struct Case {
        const char* text;
        mode_t mode;
        const char* secret;  // null: refused
    };
    const Case cases[] = {
        {"s3cret\nmore\n", 0600, "s3cret"}, {"s3cret\r\n", 0400, "s3cret"},
        {"s3cret\n", 0640, nullptr},        {"s3cret\n", 0604, nullptr},
        {"\ns3cret\n", 0600, nullptr},      {"", 0600, nullptr},
    };
    for (const Case& c : cases) {
        const std::string path = dir.File("secret");
        std::remove(path.c_str());
        std::ofstream(path) << c.text;
        chmod(path.c_str(), c.mode);
        std::string secret;
        std::string error;
        EXPECT_EQ(ReadSecretFile(path, &secret, &error), c.secret != nullptr) << c.text << c.mode;
        EXPECT_EQ(secret, c.secret ? c.secret : "");
        EXPECT_EQ(error.empty(), c.secret != nullptr);
        EXPECT_EQ(error.find("s3cret"), std::string::npos) << error;
        if (!error.empty()) {
            EXPECT_EQ(error.rfind(path, 0), 0u) << error;
        }
    }
    std::string secret, error;
    EXPECT_FALSE(ReadSecretFile(dir.File("none"), &secret, &error));
}

}  // namespace
