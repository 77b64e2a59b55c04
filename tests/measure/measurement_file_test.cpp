#include "measure/measurement_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <vector>

#include "measure/measurement.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr uint8_t kUntouched = 0x55;

// Numbers that are followed by a comma, as the loader counts them.
std::vector<std::string> CommaTerminated(const std::string& text) {
    std::vector<std::string> numbers;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(',', from)) != std::string::npos; from = at + 1)
        numbers.push_back(text.substr(from, at - from));
    return numbers;
}

MeasurementBytes FieldReplyBytes() {
    MeasurementBytes bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 7);
    bytes[1200] = 0xAA;
    return bytes;
}

TEST(MeasurementFile, ExtensionIsRemovedEverywhereThenAppendedOnce) {
    const struct {
        const char *path, *extension, *expected;
    } cases[] = {
        {"trace", ".csv", "trace.csv"},
        {"trace.csv", ".csv", "trace.csv"},
        {"a.csvb.csv", ".csv", "ab.csv"},
        {"trace.CSV", ".csv", "trace.CSV.csv"},
        {"/data/run.csv/trace", ".csv", "/data/run/trace.csv"},  // folders too
        {"a..csvcsv", ".csv", "a.csv.csv"},                      // one pass, no re-scan
        {"shot", ".bmp", "shot.bmp"},
        {"a.bmp.b", ".bmp", "a.b.bmp"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WithExtension(c.path, c.extension), c.expected) << c.path;
}

TEST(MeasurementFile, TextHoldsTheKindAndOneNumberPerReplyByte) {
    MeasurementBytes bytes = FieldReplyBytes();
    std::string field = MeasurementFileText(kKindField, bytes);
    auto numbers = CommaTerminated(field);
    ASSERT_EQ(numbers.size(), 1202u);
    EXPECT_EQ(numbers[0], "0");
    EXPECT_EQ(numbers[20], "-123");  // byte 19: 19 * 7 = 133 = 0x85
    EXPECT_EQ(numbers.back(), "-86");
    EXPECT_TRUE(field.ends_with(",-86,\r\n"));

    for (uint8_t kind : {kKindSpectrum, uint8_t{9}}) {
        std::string spectrum = MeasurementFileText(kind, bytes);
        numbers = CommaTerminated(spectrum);
        ASSERT_EQ(numbers.size(), 270u);
        EXPECT_EQ(numbers[0], "1");
        EXPECT_EQ(numbers[269], "84");  // byte 268: 268 * 7 = 1876, low byte 0x54
        EXPECT_TRUE(spectrum.ends_with(",84,\r\n"));
    }
}

TEST(MeasurementFile, NumbersReadLikeAtoi) {
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        {"  -12abc", -12},
        {"+7", 7},
        {"", 0},
        {"-", 0},
        {"\r\n\t 5", 5},
        {"4 2", 4},
        {"- 3", 0},
        {"2147483647", INT_MAX},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LeadingInteger(c.text), c.value) << '"' << c.text << '"';
}

TEST(MeasurementFile, ParserStoresOnlyNumbersFollowedByAComma) {
    const struct {
        const char* text;
        uint8_t kind;
        std::vector<uint8_t> stored;
    } cases[] = {
        {"1,-70,-71", kKindSpectrum, {0xBA}},  // the last number has no comma
        {"0,", kKindField, {}},
        {" +3,", kKindSpectrum, {}},
        {"abc,", kKindField, {}},
        {"-1,", kKindField, {}},
        {"1,1,2,3,\r\r\n", kKindSpectrum, {1, 2, 3}},
        {"1,1,2,3,junk", kKindSpectrum, {1, 2, 3}},
        {"1,5,,6,7,", kKindSpectrum, {5}},  // an empty number ends the values
        {"0,256,-129,300,-1,255,65535,", kKindField, {0, 127, 44, 0xFF, 0xFF, 0xFF}},
        {"0,x,7y,\n8,", kKindField, {0, 7, 8}},
        {",5,", kKindField, {5}},
        {"12345", kKindField, {}},  // no comma at all
        {"", kKindField, {}},
    };
    for (const auto& c : cases) {
        uint8_t kind = 0xEE;
        MeasurementBytes buffer;
        buffer.fill(kUntouched);
        std::size_t stored = ParseMeasurementText(c.text, kind, buffer);
        EXPECT_EQ(kind, c.kind) << c.text;
        ASSERT_EQ(stored, c.stored.size()) << c.text;
        EXPECT_TRUE(std::equal(c.stored.begin(), c.stored.end(), buffer.begin())) << c.text;
        EXPECT_EQ(buffer[stored], kUntouched) << c.text;
    }
}

TEST(MeasurementFile, HugeFileStopsAtTheBuffersEnd) {
    std::string text = "0,";
    for (int i = 0; i < 5000; ++i)
        text += "-1,";
    std::vector<uint8_t> memory(kMeasurementCapacity + 16, kUntouched);
    uint8_t kind;
    auto buffer = std::span(memory).first(kMeasurementCapacity);
    EXPECT_EQ(ParseMeasurementText(text, kind, buffer), kMeasurementCapacity);
    EXPECT_EQ(memory[kMeasurementCapacity - 1], 0xFF);
    EXPECT_EQ(memory[kMeasurementCapacity], kUntouched);
}

TEST(MeasurementFile, SaveThenLoadRestoresTheBytes) {
    TempDir dir;
    MeasurementBytes saved = FieldReplyBytes();
    ASSERT_TRUE(WriteMeasurementFile(dir.File("trace.csv"), kKindField, saved));
    MeasurementBytes loaded{};
    uint8_t kind = kKindSpectrum;
    std::size_t stored = 0;
    ASSERT_EQ(LoadMeasurementFile(dir.File("trace.csv"), kind, loaded, &stored),
              LoadStatus::kLoaded);
    EXPECT_EQ(kind, kKindField);
    EXPECT_EQ(stored, kFieldReplyLength);
    EXPECT_EQ(loaded, saved);

    // A spectrum loaded over it leaves the field reply's bytes from 269 on.
    MeasurementBytes spectrum{};
    spectrum.fill(0x80);
    ASSERT_TRUE(WriteMeasurementFile(dir.File("s.csv"), kKindSpectrum, spectrum));
    ASSERT_EQ(LoadMeasurementFile(dir.File("s.csv"), kind, loaded), LoadStatus::kLoaded);
    EXPECT_EQ(kind, kKindSpectrum);
    EXPECT_EQ(loaded[268], 0x80);
    EXPECT_EQ(loaded[269], saved[269]);
}

TEST(MeasurementFile, FailuresToOpenChangeNothing) {
    TempDir dir;
    MeasurementBytes buffer;
    buffer.fill(kUntouched);
    uint8_t kind = kKindSpectrum;
    EXPECT_FALSE(WriteMeasurementFile(dir.File("no/such/t.csv"), kKindField, buffer));
    EXPECT_EQ(LoadMeasurementFile(dir.File("missing.csv"), kind, buffer), LoadStatus::kCannotOpen);
    EXPECT_EQ(LoadMeasurementFile(dir.Path(), kind, buffer), LoadStatus::kCannotOpen);
    EXPECT_EQ(kind, kKindSpectrum);
    EXPECT_EQ(buffer[0], kUntouched);
}

TEST(MeasurementFile, LoadRefusesAReadOnlyFile) {
    if (geteuid() == 0) GTEST_SKIP() << "root opens read-only files for writing";
    TempDir dir;
    std::string path = dir.File("ro.csv");
    std::ofstream(path) << "1,5,";
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    MeasurementBytes buffer{};
    uint8_t kind = kKindField;
    EXPECT_EQ(LoadMeasurementFile(path, kind, buffer), LoadStatus::kCannotOpen);
}

// Files that are not text at all, special files and oversize ones are refused before anything
// is parsed; every text file, however odd, is still read by the lenient rules above.
TEST(MeasurementFile, LoadRefusesWhatIsNotAMeasurementFile) {
    TempDir dir;
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path;
        std::string content;  // written to path unless empty
        LoadStatus expected;
    };
    // clang-format off
    const Case cases[] = {
        {dir.File("nul.csv"),   std::string("0,1,\0,2,", 7),             LoadStatus::kNotMeasurement},
        {dir.File("bell.csv"),  "0,1,\a2,",                              LoadStatus::kNotMeasurement},
        {dir.File("high.csv"),  "0,1,\xC3\xA9,",                          LoadStatus::kNotMeasurement},
        {dir.File("big.csv"),   std::string(kMeasurementFileLimit + 1, '1'), LoadStatus::kNotMeasurement},
        {"/dev/zero",           "",                                        LoadStatus::kNotMeasurement},
        {fifo,                  "",                                        LoadStatus::kNotMeasurement},
        {dir.File("tabs.csv"),  "\t0,\t1 ,\r\n2,\r\n",                    LoadStatus::kLoaded},
        {dir.File("words.csv"), "hello, world,",                           LoadStatus::kLoaded},
        {dir.File("empty.csv"), "",                                        LoadStatus::kLoaded},
    };
    // clang-format on
    std::ofstream(dir.File("empty.csv")).close();
    for (const Case& c : cases) {
        if (!c.content.empty()) std::ofstream(c.path, std::ios::binary) << c.content;
        MeasurementBytes buffer;
        buffer.fill(kUntouched);
        uint8_t kind = kKindSpectrum;
        EXPECT_EQ(LoadMeasurementFile(c.path, kind, buffer), c.expected) << c.path;
        if (c.expected != LoadStatus::kLoaded) {
            EXPECT_EQ(kind, kKindSpectrum) << c.path;
            EXPECT_EQ(buffer[0], kUntouched) << c.path;
        }
    }
}

TEST(MeasurementFile, AFailedWriteLeavesTheOlderFileAndNoOther) {
    TempDir dir;
    const std::string path = dir.File("trace.csv");
    MeasurementBytes first = FieldReplyBytes();
    ASSERT_TRUE(WriteMeasurementFile(path, kKindField, first));
    std::string error;
    EXPECT_FALSE(WriteMeasurementFile(dir.File("gone/t.csv"), kKindField, first, &error));
    EXPECT_EQ(error, "No such file or directory");
    // A special file under the name is never replaced by a regular one.
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(WriteMeasurementFile(dir.File("fifo"), kKindField, first, &error));
    EXPECT_TRUE(std::filesystem::is_fifo(dir.File("fifo")));
    auto names = dir.Names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"fifo", "trace.csv"}));
}

}  // namespace
