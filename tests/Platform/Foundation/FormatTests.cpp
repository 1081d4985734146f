#include <PellinFoundation/Format.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <optional>

using foundation::stringWithFormat;
using foundation::stringWithRuntimeFormat;
using foundation::Value;

TEST(Format, IntegersAreNarrowedToTheWidthOfTheirConversion) {
    EXPECT_EQ(stringWithFormat("%hd", 32768), "-32768");
    EXPECT_EQ(stringWithFormat("%hd", std::int16_t{-1}), "-1");
    EXPECT_EQ(stringWithFormat("%hhd %hhd", true, false), "1 0");
    EXPECT_EQ(stringWithFormat("%d", std::int16_t{-5}), "-5");
    EXPECT_EQ(stringWithFormat("%ld", LONG_MIN), std::to_string(LONG_MIN));
    EXPECT_EQ(stringWithFormat("%lu", 42UL), "42");
    EXPECT_EQ(stringWithFormat("100%% of %d", 3), "100% of 3");
}

TEST(Format, ObjectsPrintTheirDescription) {
    const std::optional<Value> absent;
    EXPECT_EQ(stringWithFormat("%@ isExist=%@", "existsPellinApp", "YES"),
              "existsPellinApp isExist=YES");
    EXPECT_EQ(stringWithFormat("%@", Value()), "(null)");
    EXPECT_EQ(stringWithFormat("%@", absent), "(null)");
    EXPECT_EQ(stringWithFormat("%@", Value(std::int64_t{-7})), "-7");
    EXPECT_EQ(stringWithFormat("(%@)", std::string("12")), "(12)");
    EXPECT_EQ(stringWithFormat("%s", "plain"), "plain");
}

TEST(Format, RuntimeFormatsNeverReadAMissingOrMismatchedArgument) {
    EXPECT_EQ(stringWithRuntimeFormat("(%@)", std::string("x")), "(x)");
    EXPECT_EQ(stringWithRuntimeFormat("%@ and %@", std::string("one")), "one and %!@");
    EXPECT_EQ(stringWithRuntimeFormat("%d", std::string("text")), "%!d");
    EXPECT_EQ(stringWithRuntimeFormat("%@", 5), "%!@");
    EXPECT_EQ(stringWithRuntimeFormat("50%", 1), "50%");
    EXPECT_EQ(stringWithRuntimeFormat("%q%", 1), "%q%");
    const char* nothing = nullptr;
    EXPECT_EQ(stringWithRuntimeFormat("%s", nothing), "(null)");
}
