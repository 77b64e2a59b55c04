#include "sim/fault_plan.h"

#include <gtest/gtest.h>

namespace {

ReceivedFrame Frame(const std::string& name) {
    ReceivedFrame frame;
    frame.name = name;
    frame.command = FindCommand(name);
    return frame;
}

TEST(FaultPlan, ParsesRulesAndRefusesMalformedOnes) {
    struct Case {
        const char* text;
        bool ok;
        FaultKind kind;
        int value, count, skip;
    };
    const Case cases[] = {
        {"GETEMFDATA:corrupt", true, FaultKind::Corrupt, -1, 0, 0},
        {"GETSCREEN:silent:5", true, FaultKind::Silent, -1, 5, 0},
        {"SPIR:short=4094:1:3", true, FaultKind::Short, 4094, 1, 3},
        {"SETDATETIME:late=800:all", true, FaultKind::Late, 800, 0, 0},
        {"GETSS:junk=4", true, FaultKind::Junk, 4, 0, 0},
        {"*:corrupt-trailer:2", true, FaultKind::Corrupt, -1, 2, 0},
        {"GETVER:garbage", true, FaultKind::Garbage, -1, 0, 0},
        {"GETEMFDATA", false, {}, 0, 0, 0},
        {"GETEMFDATA:broken", false, {}, 0, 0, 0},
        {"GETEMFDATA:late=soon", false, {}, 0, 0, 0},
        {"GETEMFDATA:late:x", false, {}, 0, 0, 0},
        {":silent", false, {}, 0, 0, 0},
    };
    for (const Case& c : cases) {
        FaultRule rule;
        std::string error;
        ASSERT_EQ(ParseFault(c.text, &rule, &error), c.ok) << c.text;
        if (!c.ok) {
            EXPECT_FALSE(error.empty()) << c.text;
            continue;
        }
        EXPECT_EQ(rule.kind, c.kind) << c.text;
        EXPECT_EQ(rule.value, c.value) << c.text;
        EXPECT_EQ(rule.count, c.count) << c.text;
        EXPECT_EQ(rule.skip, c.skip) << c.text;
    }
}

TEST(FaultPlan, RuleSpoilsOnlyTheFramesInItsTurn) {
    FaultRule rule;
    std::string error;
    ASSERT_TRUE(ParseFault("GETEMFDATA:corrupt:2:1", &rule, &error));
    FaultPlan plan;
    plan.Add(rule);
    std::vector<bool> spoiled;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(plan.Take(Frame("GETVER")), nullptr);
        spoiled.push_back(plan.Take(Frame("GETEMFDATA")) != nullptr);
    }
    EXPECT_EQ(spoiled, (std::vector<bool>{false, true, true, false, false}));
}

TEST(FaultPlan, StarCoversEveryFrame) {
    FaultRule rule;
    std::string error;
    ASSERT_TRUE(ParseFault("*:silent:3", &rule, &error));
    FaultPlan plan;
    plan.Add(rule);
    EXPECT_NE(plan.Take(Frame("GETVER")), nullptr);
    EXPECT_NE(plan.Take(Frame("KEY1")), nullptr);
    EXPECT_NE(plan.Take(Frame("HELLO")), nullptr);
    EXPECT_EQ(plan.Take(Frame("GETVER")), nullptr);
}

// Garbage must never pass for a reply: no trailer, no model name, no 0xBB marks.
TEST(FaultPlan, GarbageKeepsTheLengthButNothingElse) {
    FaultRule rule;
    std::string error;
    ASSERT_TRUE(ParseFault("GETVER:garbage", &rule, &error));
    MeterReply reply{Bytes(1025, 0xAA), 0};
    ApplyFault(rule, reply);
    ASSERT_EQ(reply.bytes.size(), 1025u);
    for (uint8_t b : reply.bytes)
        EXPECT_TRUE(b >= 'a' && b <= 'z') << int{b};
}

TEST(FaultPlan, FamilyNameCoversEveryNumberedCommand) {
    FaultRule rule;
    std::string error;
    ASSERT_TRUE(ParseFault("GETSS:silent", &rule, &error));
    FaultPlan plan;
    plan.Add(rule);
    EXPECT_NE(plan.Take(Frame("GETSS1")), nullptr);
    EXPECT_NE(plan.Take(Frame("GETSS4")), nullptr);
    EXPECT_EQ(plan.Take(Frame("GETSSN1")), nullptr);
}

TEST(FaultPlan, EachKindSpoilsTheReplyItsOwnWay) {
    const Bytes reply{0x10, 0x20, 0x30, 0xAA};
    struct Case {
        const char* text;
        Bytes bytes;
        int latencyMs;
    };
    const Case cases[] = {
        {"X:short", {0x10, 0x20}, 5},  // half
        {"X:short=1", {0x10}, 5},
        {"X:corrupt", {0x10, 0x20, 0x30, 0x00}, 5},
        {"X:marks", {0x10, 0x20, 0xBB, 0xBB}, 5},
        {"X:late", reply, 5 + kDefaultLateMs},
        {"X:late=600", reply, 605},
    };
    for (const Case& c : cases) {
        FaultRule rule;
        std::string error;
        ASSERT_TRUE(ParseFault(c.text, &rule, &error)) << c.text;
        MeterReply r{reply, 5};
        ApplyFault(rule, r);
        EXPECT_EQ(r.bytes, c.bytes) << c.text;
        EXPECT_EQ(r.latencyMs, c.latencyMs) << c.text;
    }
    FaultRule junk;
    std::string error;
    ASSERT_TRUE(ParseFault("X:junk=3", &junk, &error));
    MeterReply r{reply, 5};
    ApplyFault(junk, r);
    ASSERT_EQ(r.bytes.size(), 7u);
    EXPECT_EQ(Bytes(r.bytes.begin() + 3, r.bytes.end()), reply);
}

}  // namespace
