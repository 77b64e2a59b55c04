#include "history/history_csv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "history_records.h"

using namespace history_records;

namespace {

const std::string kHeader =
    "ZTX-440 Data Logged History\r\n"
    ",EMF,EF,RF Power Density\r\n"
    "Date and Time,mG,V/m,mW/m2,mW/cm2,pW/cm2, Possible Source\r\n";

// A reading whose values print as ",1.0,2.0,0.000,0.000,3.000,".
void AddPlainReading(Memory& memory) {
    AddReading(memory, 0x00, 0x10, 2.0f, 3.0f);
}
const std::string kPlainValues = ",1.0,2.0,0.000,0.000,3.000,\r\n";

std::string Table(const Memory& memory, size_t count) {
    const std::string text = HistoryCsvText(memory.data(), count);
    EXPECT_EQ(text.substr(0, kHeader.size()), kHeader);
    return text.substr(std::min(kHeader.size(), text.size()));
}
std::string Table(const Memory& memory) {
    return Table(memory, memory.size());
}

// Date-and-time fields of the table's lines, in order.
std::vector<std::string> Dates(const std::string& table) {
    std::vector<std::string> dates;
    std::istringstream lines(table);
    for (std::string line; std::getline(lines, line);)
        dates.push_back(line.substr(0, 19));
    return dates;
}

}  // namespace

TEST(HistoryCsv, BlankMemoryGivesOnlyTheHeader) {
    for (const uint8_t fill : {0x00, 0xFF}) {
        const Memory memory(4096, fill);
        EXPECT_EQ(HistoryCsvText(memory.data(), memory.size()), kHeader) << int{fill};
    }
    EXPECT_EQ(HistoryCsvText(nullptr, 0), kHeader);
}

TEST(HistoryCsv, ReadingLineCarriesAllColumns) {
    Memory memory;
    AddStamp(memory, 0x11, 0x0C, 0x1F, 0x17, 0x3B, 0x3B);
    AddReading(memory, 0x01, 0x23, 230.0f, 1000.0f, 0x04);
    EXPECT_EQ(Table(memory), "2017/12/31 23:59:59,18.3,230.0,0.010,0.000,1000.000,WiFi/Phone\r\n");
}

TEST(HistoryCsv, IsoDatesChangeOnlyTheDateSeparators) {
    Memory memory;
    AddStamp(memory, 0x11, 0x0C, 0x1F, 0x17, 0x3B, 0x3B);
    AddReading(memory, 0x01, 0x23, 230.0f, 1000.0f, 0x04);
    AddReading(memory, 0x01, 0x23, 230.0f, 1000.0f, 0x04);
    const std::string iso = HistoryCsvText(memory.data(), memory.size(), HistoryDateStyle::Iso);
    EXPECT_EQ(iso.substr(kHeader.size()),
              "2017-12-31 23:59:59,18.3,230.0,0.010,0.000,1000.000,WiFi/Phone\r\n"
              "2017-12-32 00:00:00,18.3,230.0,0.010,0.000,1000.000,WiFi/Phone\r\n");
}

TEST(HistoryCsv, RunningStampAdvancesWithThirtyDayMonths) {
    struct Case {
        uint8_t fields[6];
        const char* first;
        const char* second;
    };
    const Case cases[] = {
        {{0x11, 0x0C, 0x1F, 0x17, 0x3B, 0x3B}, "2017/12/31 23:59:59", "2017/12/32 00:00:00"},
        {{0x18, 0x01, 0x1E, 0x17, 0x3B, 0x3B}, "2024/01/30 23:59:59", "2024/02/01 00:00:00"},
        {{0x18, 0x0C, 0x1E, 0x17, 0x3B, 0x3B}, "2024/12/30 23:59:59", "2025/01/01 00:00:00"},
        {{0x18, 0x05, 0x0A, 0x0C, 0x3B, 0x3B}, "2024/05/10 12:59:59", "2024/05/10 13:00:00"},
        {{0x18, 0x05, 0x0A, 0x0C, 0x1E, 0x3B}, "2024/05/10 12:30:59", "2024/05/10 12:31:00"},
        {{0x18, 0x05, 0x0A, 0x0C, 0x1E, 0x09}, "2024/05/10 12:30:09", "2024/05/10 12:30:10"},
        {{0x63, 0x0C, 0x1E, 0x17, 0x3B, 0x3B}, "2099/12/30 23:59:59", "20100/01/01 00:00:00"},
        // the counters are bytes: 255 seconds wrap to 0 without a carry
        {{0x18, 0x01, 0x01, 0x00, 0x00, 0xFF}, "2024/01/01 00:00:255", "2024/01/01 00:00:00"},
        {{0x18, 0x0D, 0x1E, 0x17, 0x3B, 0x3B}, "2024/13/30 23:59:59", "2024/14/01 00:00:00"},
    };
    for (const Case& c : cases) {
        Memory memory;
        AddStamp(memory, c.fields[0], c.fields[1], c.fields[2], c.fields[3], c.fields[4],
                 c.fields[5]);
        AddPlainReading(memory);
        AddPlainReading(memory);
        const std::string table = Table(memory);
        EXPECT_EQ(table, std::string(c.first) + kPlainValues + c.second + kPlainValues);
    }
}

TEST(HistoryCsv, EmfWordPrintsWholeAndTenthsAsPlainNumbers) {
    struct Case {
        uint8_t high, low;
        const char* field;
    };
    const Case cases[] = {
        {0x01, 0x23, ",18.3,"},  {0x00, 0x0F, ",0.15,"},    {0x00, 0x00, ",0.0,"},
        {0x10, 0x00, ",256.0,"}, {0xFF, 0xFF, ",4095.15,"}, {0x00, 0x1A, ",1.10,"},
    };
    for (const Case& c : cases) {
        Memory memory;
        AddReading(memory, c.high, c.low, 0.0f, 0.0f);
        EXPECT_EQ(Table(memory),
                  std::string("2000/01/01 00:00:00") + c.field + "0.0,0.000,0.000,0.000,\r\n");
    }
}

TEST(HistoryCsv, FieldValuesPrintInTheirUnits) {
    struct Case {
        float ef, rf;
        const char* values;
    };
    const Case cases[] = {
        {0.0f, 1000.0f, "0.0,0.010,0.000,1000.000"},
        {12.34f, 123456.0f, "12.3,1.235,0.000,123456.000"},
        {-1.0f, 5e8f, "-1.0,5000.000,0.500,500000000.000"},
        {999.96f, 0.0004f, "1000.0,0.000,0.000,0.000"},
    };
    for (const Case& c : cases) {
        Memory memory;
        AddReading(memory, 0x00, 0x00, c.ef, c.rf);
        EXPECT_EQ(Table(memory), std::string("2000/01/01 00:00:00,0.0,") + c.values + ",\r\n");
    }
}

TEST(HistoryCsv, PossibleSourceCodesNameTheSource) {
    const std::pair<uint8_t, const char*> cases[] = {
        {0, "---"},        {1, "Smart Meter"}, {2, "Cell Tower"}, {3, "Microwave"},
        {4, "WiFi/Phone"}, {5, "Static"},      {6, "AC EF"},      {7, "Power Line"},
        {8, "Mixed"},      {9, "Mixed"},       {255, "Mixed"},
    };
    for (const auto& [code, text] : cases) {
        Memory memory;
        AddReading(memory, 0x00, 0x00, 0.0f, 0.0f, code);
        EXPECT_EQ(Table(memory),
                  "2000/01/01 00:00:00,0.0,0.0,0.000,0.000,0.000," + std::string(text) + "\r\n");
    }
}

TEST(HistoryCsv, SourceExtensionMakesTheReadingFourteenBytes) {
    Memory memory;
    AddReading(memory, 0x00, 0x10, 2.0f, 3.0f, 0x04);
    AddPlainReading(memory);  // follows at offset 14
    AddReading(memory, 0x00, 0x10, 2.0f, 3.0f);
    AddPlainReading(memory);  // follows at offset 38: byte 12 of the one before is 0xAA
    EXPECT_EQ(Table(memory),
              "2000/01/01 00:00:00,1.0,2.0,0.000,0.000,3.000,WiFi/Phone\r\n"
              "2000/01/01 00:00:01" +
                  kPlainValues + "2000/01/01 00:00:02" + kPlainValues + "2000/01/01 00:00:03" +
                  kPlainValues);
}

TEST(HistoryCsv, StampWithoutReadingStandsAloneOnItsLine) {
    Memory memory;
    AddStamp(memory, 0x18, 0x02, 0x03, 0x04, 0x05, 0x06);
    AddStamp(memory, 0x18, 0x02, 0x03, 0x04, 0x05, 0x07);
    AddPlainReading(memory);
    EXPECT_EQ(Table(memory), "2024/02/03 04:05:06\r\n2024/02/03 04:05:07" + kPlainValues);
}

TEST(HistoryCsv, TrailingStampLeavesItsDateWithoutLineEnd) {
    Memory memory;
    AddStamp(memory, 0x18, 0x02, 0x03, 0x04, 0x05, 0x06);
    AddPlainReading(memory);
    AddStamp(memory, 0x18, 0x02, 0x03, 0x04, 0x06, 0x00);
    EXPECT_EQ(Table(memory), "2024/02/03 04:05:06" + kPlainValues + "2024/02/03 04:06:00");
}

TEST(HistoryCsv, StampResetsTheRunningTime) {
    Memory memory;
    AddStamp(memory, 0x18, 0x02, 0x03, 0x04, 0x05, 0x06);
    AddPlainReading(memory);
    AddPlainReading(memory);
    AddStamp(memory, 0x10, 0x01, 0x01, 0x00, 0x00, 0x00);
    AddPlainReading(memory);
    AddPlainReading(memory);
    EXPECT_EQ(Dates(Table(memory)),
              (std::vector<std::string>{"2024/02/03 04:05:06", "2024/02/03 04:05:07",
                                        "2016/01/01 00:00:00", "2016/01/01 00:00:01"}));
}

TEST(HistoryCsv, ReadingsBeforeAnyStampStartAtTheTurnOfTheCentury) {
    Memory memory;
    AddPlainReading(memory);
    AddPlainReading(memory);
    AddStamp(memory, 0x18, 0x02, 0x03, 0x04, 0x05, 0x06);
    AddPlainReading(memory);
    EXPECT_EQ(Dates(Table(memory)),
              (std::vector<std::string>{"2000/01/01 00:00:00", "2000/01/01 00:00:01",
                                        "2024/02/03 04:05:06"}));
}

TEST(HistoryCsv, RecordsAreSeenOnlyAtEvenOffsets) {
    Memory memory = {0x00};  // shifts what follows to odd offsets
    AddStamp(memory, 0x18, 0x02, 0x03, 0x04, 0x05, 0x06);
    AddReading(memory, 0x00, 0x10, 2.0f, 3.0f, 0x01);
    memory.push_back(0x00);  // back to even
    AddPlainReading(memory);
    EXPECT_EQ(Table(memory), "2000/01/01 00:00:00" + kPlainValues);
}

TEST(HistoryCsv, JunkBetweenRecordsIsSkipped) {
    Memory memory = {0x12, 0x34, 0xAA, 0xAA, 0x55, 0x55};
    AddPlainReading(memory);
    memory.insert(memory.end(), {0x5A, 0x01});  // a stray "Z" pair after a 12-byte reading
    AddPlainReading(memory);
    EXPECT_EQ(Table(memory),
              "2000/01/01 00:00:00,1.0,2.0,0.000,0.000,3.000,Smart Meter\r\n"
              "2000/01/01 00:00:01" +
                  kPlainValues);
}

TEST(HistoryCsv, RecordCutAtTheCountIsNotDecoded) {
    Memory memory;
    AddPlainReading(memory);                               // 0..11
    AddStamp(memory, 0x18, 0x02, 0x03, 0x04, 0x05, 0x06);  // 12..19
    AddReading(memory, 0x00, 0x10, 2.0f, 3.0f, 0x04);      // 20..33
    const std::string first = "2000/01/01 00:00:00" + kPlainValues;
    const std::string stamp = "2024/02/03 04:05:06";
    struct Case {
        size_t count;
        std::string table;
    };
    const Case cases[] = {
        {11, ""},  // reading one byte short
        {12, first},
        {13, first},  // a lone byte is no marker
        {19, first},  // time stamp one byte short
        {20, first + stamp},
        {31, first + stamp},                 // reading one byte short
        {32, first + stamp + kPlainValues},  // "Z" past the count: a plain reading
        {33, first + stamp},                 // source code past the count
        {34, first + stamp + ",1.0,2.0,0.000,0.000,3.000,WiFi/Phone\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Table(memory, c.count), c.table) << c.count;
}

TEST(HistoryCsv, StreamGetsTheSameBytes) {
    Memory memory;
    AddStamp(memory, 0x18, 0x02, 0x03, 0x04, 0x05, 0x06);
    AddPlainReading(memory);
    std::ostringstream out;
    WriteHistoryCsv(memory.data(), memory.size(), out);
    EXPECT_EQ(out.str(), kHeader + "2024/02/03 04:05:06" + kPlainValues);
}

// Its speed is measured by bench/history_bench.
TEST(HistoryCsv, FullMemoryDecodesEveryReading) {
    Memory memory;
    size_t readings = 0;
    while (memory.size() + 22 <= 1048576) {
        if (memory.size() % 4096 < 22) AddStamp(memory, 0x18, 0x02, 0x03, 0x04, 0x05, 0x06);
        AddReading(memory, 0x01, 0x23, 123.4f, 98765.4f, 0x03);
        ++readings;
    }
    memory.resize(1048576, 0xFF);
    const std::string text = HistoryCsvText(memory.data(), memory.size());
    EXPECT_EQ(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')), 3 + readings);
}
