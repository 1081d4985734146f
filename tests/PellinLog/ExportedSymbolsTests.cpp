// libPellinLog.so shows other programs exactly ddLogLevel, _logLevelMap, PellinLogger,
// LoggerFormatterClassName and its two version symbols: nothing of what it uses inside leaks
// into their namespace.

#include <PellinLog/PellinLogVersion.h>

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "ChildProcess.h"
#include "TemporaryHome.h"

namespace {

// The demangled names of the symbols the library defines for others.
std::vector<std::string> exportedNames() {
    const auto outcome = pellin::test::runChild(
        "/usr/bin/nm", {"-D", "--defined-only", "--demangle",
                        (pellin::test::buildDirectory() / "lib" / "libPellinLog.so").string()});
    EXPECT_EQ(outcome.exitStatus, 0) << outcome.standardError;
    std::vector<std::string> names;
    std::istringstream in(outcome.standardOutput);
    // "0000000000011470 R PellinLogVersionNumber"
    for (std::string line; std::getline(in, line);) {
        if (line.size() > 19) {
            names.push_back(line.substr(19));
        }
    }
    return names;
}

bool isAllowed(const std::string& name) {
    static const std::set<std::string> plain = {
        "ddLogLevel",
        "_logLevelMap",
        "PellinLogVersionString",
        "PellinLogVersionNumber",
        "vtable for LoggerFormatterClassName",
        "typeinfo for LoggerFormatterClassName",
        "typeinfo name for LoggerFormatterClassName",
    };
    return plain.contains(name) || name.starts_with("PellinLogger::") ||
           name.starts_with("LoggerFormatterClassName::");
}

class Exports : public ::testing::Test {
  protected:
    pellin::test::TemporaryHome home_;
};

}  // namespace

TEST_F(Exports, NothingButTheLibrarysOwnNamesIsExported) {
    const auto names = exportedNames();
    ASSERT_FALSE(names.empty());
    for (const auto& name : names) {
        EXPECT_TRUE(isAllowed(name)) << name;
    }
}

TEST_F(Exports, EveryNameOtherProgramsUseIsExported) {
    const auto names = exportedNames();
    const std::set<std::string> found(names.begin(), names.end());
    for (const char* name : {
             "ddLogLevel",
             "_logLevelMap",
             "PellinLogVersionString",
             "PellinLogVersionNumber",
             "PellinLogger::logLevelMap[abi:cxx11]()",
             "PellinLogger::setup()",
             "PellinLogger::setupConcoleLogger(unsigned long)",
             "PellinLogger::setupAppleSystemLogger(unsigned long)",
             "PellinLogger::setupFileLogger(unsigned long)",
             "PellinLogger::formatLogLevelToInt(foundation::Value const&)",
             "LoggerFormatterClassName::LoggerFormatterClassName()",
             "vtable for LoggerFormatterClassName",
         }) {
        EXPECT_TRUE(found.contains(name)) << name;
    }
}

TEST_F(Exports, TheVersionSymbolsHoldTheProgramAndProjectAndOnePointZero) {
    EXPECT_STREQ(reinterpret_cast<const char*>(PellinLogVersionString),
                 "@(#)PROGRAM:PellinLog  PROJECT:Pellin-1\n");
    EXPECT_EQ(PellinLogVersionNumber, 1.0);
}
