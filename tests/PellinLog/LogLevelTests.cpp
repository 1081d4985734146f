#include <PellinLog/PellinLogger.h>

#include <gtest/gtest.h>

#include "TemporaryHome.h"

using foundation::Value;

namespace {

class LogLevels : public ::testing::Test {
  protected:
    pellin::test::TemporaryHome home_;
};

}  // namespace

TEST_F(LogLevels, TheLevelMapHoldsExactlyTheSixNamesWithTheirMasks) {
    const foundation::Dictionary expected{
        {"ERROR", Value(1)},  {"WARN", Value(3)},     {"INFO", Value(7)},
        {"DEBUG", Value(15)}, {"VERBOSE", Value(31)}, {"OFF", Value(0)},
    };
    ASSERT_NE(PellinLogger::logLevelMap(), nullptr);
    EXPECT_EQ(*PellinLogger::logLevelMap(), expected);
    for (const auto& [name, mask] : *PellinLogger::logLevelMap()) {
        EXPECT_EQ(mask.kind(), Value::Kind::Integer) << name;
    }
}

TEST_F(LogLevels, EveryCallReturnsTheOneMapThatTheGlobalHolds) {
    foundation::Dictionary* first = PellinLogger::logLevelMap();
    EXPECT_EQ(PellinLogger::logLevelMap(), first);
    EXPECT_EQ(_logLevelMap, first);
}

TEST_F(LogLevels, EachLevelNameGivesItsMask) {
    EXPECT_EQ(PellinLogger::formatLogLevelToInt(Value("ERROR")), 1);
    EXPECT_EQ(PellinLogger::formatLogLevelToInt(Value("WARN")), 3);
    EXPECT_EQ(PellinLogger::formatLogLevelToInt(Value("INFO")), 7);
    EXPECT_EQ(PellinLogger::formatLogLevelToInt(Value("DEBUG")), 15);
    EXPECT_EQ(PellinLogger::formatLogLevelToInt(Value("VERBOSE")), 31);
    EXPECT_EQ(PellinLogger::formatLogLevelToInt(Value("OFF")), 0);
}

// Only the exact text counts: a near miss switches logging off rather than guessing.
TEST_F(LogLevels, AnythingButAnExactNameGivesZero) {
    for (const Value& notAName :
         {Value("debug"), Value("Debug"), Value(""), Value(" DEBUG"), Value("DEBUG "),
          Value("WARNING"), Value("UNKNOWN"), Value(8), Value(15), Value(15.0), Value(true),
          Value(), Value(foundation::Array{Value("DEBUG")}),
          Value(foundation::Dictionary{{"DEBUG", Value(15)}})}) {
        EXPECT_EQ(PellinLogger::formatLogLevelToInt(notAName), 0) << notAName.description();
    }
}
