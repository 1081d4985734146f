#include <PellinCommonFramework/PellinCommonFramework.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TemporaryHome.h"

using ::testing::IsSupersetOf;

namespace {

std::string library() {
    return (pellin::test::buildDirectory() / "lib" / "libPellinCommonFramework.so.1").string();
}

std::vector<std::string> outputLines(const std::string& command) {
    std::vector<std::string> lines;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return lines;
    }
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        std::string line(buffer);
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    pclose(pipe);
    return lines;
}

}  // namespace

TEST(PellinCommonFrameworkLibrary, TheVersionSymbolsHoldTheirExactValues) {
    EXPECT_STREQ(reinterpret_cast<const char*>(PellinCommonFrameworkVersionString),
                 "@(#)PROGRAM:PellinCommonFramework  PROJECT:PellinCommonFramework-1\n");
    EXPECT_EQ(PellinCommonFrameworkVersionNumber, 1.0);
}

TEST(PellinCommonFrameworkLibrary, OnlyPellinAlertAndTheVersionSymbolsAreExported) {
    // Names only, demangled, without parameter lists.
    const auto symbols = outputLines("nm -D --defined-only --format=just-symbols -C " + library() +
                                     " | sed 's/(.*//'");
    ASSERT_FALSE(symbols.empty());
    for (const auto& symbol : symbols) {
        EXPECT_TRUE(symbol.starts_with("PellinAlert::") ||
                    symbol == "PellinCommonFrameworkVersionString" ||
                    symbol == "PellinCommonFrameworkVersionNumber")
            << "also exported: " << symbol;
    }
    EXPECT_THAT(
        symbols,
        IsSupersetOf({"PellinAlert::createAlertWithIcon",
                      "PellinAlert::createAlertWithDefaultButtonNumber",
                      "PellinAlert::createAlertWithBundle",
                      "PellinAlert::showNetworkConnectionErrorAlertWithRetryButton",
                      "PellinCommonFrameworkVersionString", "PellinCommonFrameworkVersionNumber"}));
}

TEST(PellinCommonFrameworkLibrary, TheLibraryIsVersionOneByItsSoname) {
    const auto dynamic = outputLines("readelf -d " + library());
    bool soname = false;
    for (const auto& line : dynamic) {
        soname = soname ||
                 line.find("Library soname: [libPellinCommonFramework.so.1]") != std::string::npos;
    }
    EXPECT_TRUE(soname);
    EXPECT_TRUE(std::filesystem::exists(pellin::test::buildDirectory() / "lib" /
                                        "libPellinCommonFramework.so.1.0.0"));
}

TEST(PellinCommonFrameworkLibrary, AProgramHoldingACopyOfTheVersionStillGetsTheFrameworksTexts) {
    const std::string program =
        (pellin::test::buildDirectory() / "bin" / "CopyRelocatedProgram").string();
    bool copied = false;
    for (const auto& line : outputLines("readelf -rW " + program)) {
        copied = copied || (line.find("R_X86_64_COPY") != std::string::npos &&
                            line.find("PellinCommonFrameworkVersionNumber") != std::string::npos);
    }
    EXPECT_TRUE(copied) << "the program does not hold a copy; the case is not exercised";
    EXPECT_THAT(
        outputLines("env LANG=en_US.UTF-8 LANGUAGE= LC_ALL= LC_MESSAGES= " + program),
        ::testing::ElementsAre("version=1.0", "message=Pellin can't connect to the internet."));
}
