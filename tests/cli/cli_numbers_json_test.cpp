// The command line's number rules and the JSON writer, without a meter.

#include <gtest/gtest.h>

#include <limits>

#include "cli/cli_numbers.h"
#include "cli/json_writer.h"

TEST(CliNumbers, DurationsAreSecondsUnlessTheyNameTheirUnit) {
    struct Case {
        const char* text;
        bool accepted;
        int64_t ms;
    };
    // clang-format off
    const Case cases[] = {
        {"1s", true, 1000},     {"1.5s", true, 1500},   {"500ms", true, 500}, {"30", true, 30000},
        {"0.25", true, 250},    {"15m", true, 900000},  {"2h", true, 7200000},
        {"1d", true, 86400000}, {"86400s", true, 86400000},
        {"86401s", false, 0},   {"2d", false, 0},       {"0", false, 0},      {"-1s", false, 0},
        {"0.1ms", false, 0},    {"nan", false, 0},      {"inf", false, 0},    {"infs", false, 0},
        {"1e300s", false, 0},   {"0x10", false, 0},     {"1w", false, 0},     {"", false, 0},
        {"s", false, 0},        {"5 s", false, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        int64_t ms = -1;
        EXPECT_EQ(ParseDuration(c.text, 1, 86400000, &ms), c.accepted) << c.text;
        if (c.accepted) {
            EXPECT_EQ(ms, c.ms) << c.text;
        }
    }
}

TEST(CliNumbers, IntegersAreWholeWordsInRange) {
    struct Case {
        const char* text;
        bool accepted;
        int64_t value;
    };
    // clang-format off
    const Case cases[] = {
        {"-128", true, -128}, {"+0", true, 0},    {"-0", true, 0},      {"-129", false, 0},
        {"1", false, 0},      {"", false, 0},     {"+", false, 0},      {"-", false, 0},
        {"+-1", false, 0},    {"--1", false, 0},  {" 5", false, 0},     {"5 ", false, 0},
        {"-5x", false, 0},    {"-1.0", false, 0}, {"0x1", false, 0},
        {"99999999999999999999", false, 0},       {"-99999999999999999999", false, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        int64_t value = 7;
        EXPECT_EQ(ParseInteger(c.text, -128, 0, &value), c.accepted) << c.text;
        EXPECT_EQ(value, c.accepted ? c.value : 7) << c.text;
    }
}

TEST(CliNumbers, DecimalsAreWholeFiniteWordsInRange) {
    struct Case {
        const char* text;
        bool accepted;
        double value;
    };
    // clang-format off
    const Case cases[] = {
        {"1.5", true, 1.5},  {"+2.25", true, 2.25}, {"-.5", true, -0.5},  {"5.", true, 5.0},
        {"1e1", true, 10.0}, {"-10", true, -10.0},  {"10.001", false, 0}, {"", false, 0},
        {"+", false, 0},     {".", false, 0},       {"1e", false, 0},     {"1e400", false, 0},
        {"nan", false, 0},   {"-inf", false, 0},    {"1.5x", false, 0},   {"1,5", false, 0},
        {" 1", false, 0},    {"0x1", false, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        double value = 7;
        EXPECT_EQ(ParseReal(c.text, -10.0, 10.0, &value), c.accepted) << c.text;
        EXPECT_EQ(value, c.accepted ? c.value : 7) << c.text;
    }
}

TEST(JsonWriter, StringsAreEscapedAndNonFiniteNumbersAreNull) {
    JsonWriter json;
    json.BeginObject()
        .Key("text")
        .String("a\"b\\c\n\x01\xC3\xA9\xFF")
        .Key("values")
        .BeginArray()
        .Number(0.005)
        .Number(std::numeric_limits<double>::infinity())
        .Number(std::numeric_limits<float>::quiet_NaN())
        .Number(3.62f)
        .Integer(-7)
        .Bool(true)
        .Null()
        .EndArray()
        .Key("empty")
        .BeginObject()
        .EndObject()
        .EndObject();
    EXPECT_EQ(json.Text(),
              "{\"text\":\"a\\\"b\\\\c\\n\\u0001\xC3\xA9\xEF\xBF\xBD\","
              "\"values\":[0.005,null,null,3.62,-7,true,null],\"empty\":{}}");
}
