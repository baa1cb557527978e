// The in-memory model: name matching, stable references and typed reads.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "IniFile.h"

namespace {

TEST(IniModel, NamesMatchTrimmedAndCaseInsensitively)
{
    IniFile ini;
    ini[" Window\t"]["\vPosX "] = "250";
    EXPECT_TRUE(ini.has("window"));
    EXPECT_TRUE(ini["WINDOW"].has("posx"));
    EXPECT_EQ(ini["window"]["POSX"], "250");
    ASSERT_EQ(ini.sections().size(), 1u);
    EXPECT_EQ(ini.sections()[0].name(), "window");
    EXPECT_EQ(ini.sections()[0].entries()[0].first, "posx");
    // Only ASCII letters fold; other bytes are kept as they are.
    ini["\xC3\x84"];
    EXPECT_FALSE(ini.has("\xC3\xA4"));
    // The empty name is a name like any other.
    ini[""][""] = "x";
    EXPECT_EQ(ini[" "][" "], "x");
}

TEST(IniModel, HasAddsNothingWhileReadsAddTheNamesTheyLookUp)
{
    IniFile ini;
    EXPECT_FALSE(ini.has("font"));
    EXPECT_FALSE(ini.has("font"));
    EXPECT_TRUE(ini.sections().empty());
    EXPECT_EQ(ini.GetInt("font", "type", 4), 4);
    ASSERT_TRUE(ini.has("font"));
    EXPECT_TRUE(ini["font"].has("type"));
    EXPECT_EQ(ini["font"]["type"], "");
}

TEST(IniModel, ReferencesStayValidWhileNamesAreAppended)
{
    IniFile ini;
    IniSection& window = ini["window"];
    std::string& posX = window["posx"];
    for (int i = 0; i < 1000; ++i) {
        ini["section" + std::to_string(i)];
        window["key" + std::to_string(i)];
    }
    posX = "250";
    window["width"] = "900";
    EXPECT_EQ(ini["window"]["posx"], "250");
    EXPECT_EQ(ini["window"]["width"], "900");
    EXPECT_EQ(ini.sections()[0].entries()[0].second, "250");
}

TEST(IniModel, PositionsAreThoseOfTheFirstInsertion)
{
    IniFile ini;
    ini["b"]["y"] = "1";
    ini["a"]["x"] = "2";
    ini["b"]["x"] = "3";
    ini["B"]["Y"] = "4";
    ASSERT_EQ(ini.sections().size(), 2u);
    EXPECT_EQ(ini.sections()[0].name(), "b");
    EXPECT_EQ(ini.sections()[0].entries()[0], std::make_pair(std::string("y"), std::string("4")));
    EXPECT_EQ(ini.sections()[0].entries()[1], std::make_pair(std::string("x"), std::string("3")));
}

struct IntCase {
    const char* text;
    int expected; // the default is 42
};

TEST(IniModel, GetIntReadsLikeStoiAndFallsBackToTheDefault)
{
    const IntCase cases[] = {
        {"", 42},
        {"250", 250},
        {"-7", -7},
        {"+7", 7},
        {" \t12", 12},
        {"250 ; left monitor", 250},
        {"12abc", 12},
        {"0x10", 0},
        {"3.9", 3},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", 42},
        {"-2147483649", 42},
        {"99999999999999999999999", 42},
        {"abc", 42},
        {"-", 42},
        {"- 5", 42},
        {"true", 42},
    };
    for (const IntCase& c : cases) {
        IniFile ini;
        ini["s"]["k"] = c.text;
        EXPECT_EQ(ini.GetInt("s", "k", 42), c.expected) << '"' << c.text << '"';
    }
}

TEST(IniModel, GetBoolIsTrueForNonZeroNumbers)
{
    const struct {
        const char* text;
        bool fallback;
        bool expected;
    } cases[] = {
        {"0", true, false},     {"1", false, true},      {"-3", false, true},   {"0.9", true, false},
        {"", true, true},       {"", false, false},      {"yes", true, true},   {"false", true, true},
        {"4294967296", false, false},
    };
    for (const auto& c : cases) {
        IniFile ini;
        ini["s"]["k"] = c.text;
        EXPECT_EQ(ini.GetBool("s", "k", c.fallback), c.expected) << '"' << c.text << '"';
    }
}

TEST(IniModel, GetFloatReadsLikeStofAndFallsBackToTheDefault)
{
    const struct {
        const char* text;
        float expected; // the default is 1.5
    } cases[] = {
        {"", 1.5f},        {"0.080000", 0.08f},    {"24.000000", 24.0f}, {"-2.5e2", -250.0f}, {"15", 15.0f},
        {"3,5", 3.0f},     {"  .5x", 0.5f},        {"1e39", 1.5f},       {"-1e39", 1.5f},     {"inf", 1.5f},
        {"-infinity", 1.5f}, {"nan", 1.5f},        {"abc", 1.5f},        {".", 1.5f},
    };
    for (const auto& c : cases) {
        IniFile ini;
        ini["s"]["k"] = c.text;
        EXPECT_EQ(ini.GetFloat("s", "k", 1.5f), c.expected) << '"' << c.text << '"';
    }
}

} // namespace
