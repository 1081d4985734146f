// Faults the shared settings store must not have with the files that other programs and damaged
// disks leave behind: a value lost or altered, a failed write reported as success, a secret
// left after the domain is removed, an abort.

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include <PellinFoundation/PropertyList.h>

#include "CapturedLog.h"
#include "SharedDomain.h"

using foundation::Array;
using foundation::Date;
using foundation::Dictionary;
using foundation::Value;
using Lib = UserDefaultConfigurationLib;
using pellin::test::runProgram;
using pellin::test::storedInAnotherProcess;
namespace fs = std::filesystem;

namespace {

constexpr const char* kDomainFile = "Library/Preferences/com.brenvik.mac.Pellin.common.plist";

// What Python's plistlib writes for the Python expression `literal`, in `format` ("FMT_XML" or
// "FMT_BINARY"); empty when Python cannot run here.
std::string plistlib(const std::string& literal, const std::string& format) {
    const auto run =
        runProgram({"/usr/bin/env", "python3", "-c",
                    "import datetime, plistlib, sys\nsys.stdout.buffer.write(plistlib.dumps(" +
                        literal + ", fmt=plistlib." + format + "))"});
    return run.started && WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0 ? run.output : "";
}

std::string xmlDomain(const std::string& entries) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + entries +
           "</dict></plist>\n";
}

// Runs `command` and answers whether it succeeded.
bool succeeds(const std::vector<std::string>& command) {
    const auto run = runProgram(command);
    return run.started && WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0;
}

class OtherProgramsFiles : public pellin::test::PellinDomainTest {
  protected:
    fs::path preferences() const { return home.path() / "Library/Preferences"; }
    void writeDomain(const std::string& bytes) const {
        ASSERT_FALSE(bytes.empty()) << "python3 with plistlib is needed";
        home.writeFile(kDomainFile, bytes);
    }
    // The domain as its file holds it now, read afresh.
    Value onDisk() const {
        return foundation::PropertyListSerialization::propertyListWithContentsOfFile(
                   domainFile().string())
            .value_or(Value("no property list"));
    }
    // Every file of the domain's folder but the domain file itself.
    std::vector<fs::path> otherFiles() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(preferences())) {
            if (entry.path() != domainFile()) {
                files.push_back(entry.path());
            }
        }
        return files;
    }
};

TEST_F(OtherProgramsFiles, ARepeatedKeyKeepsItsLastValueThroughTheNextWrite) {
    writeDomain(xmlDomain(
        "<key>checkDomain</key><string>first</string><key>checkDomain</key><string>last</string>"
        "<key>nextAutoUpdate</key><array/><key>nextAutoUpdate</key><array><string>x</string>"
        "</array><key>certkey</key><string>old</string><key>certkey</key><string>new</string>"));
    EXPECT_EQ(Lib::getCheckDomain(), Value("last"));
    EXPECT_EQ(Lib::getCertkey(), "new");
    Lib::setSuccessAddTime(Value(1));
    EXPECT_EQ(onDisk(), Value(Dictionary{{"checkDomain", Value("last")},
                                         {"nextAutoUpdate", Value(Array{Value("x")})},
                                         {"certkey", Value("new")},
                                         {"successAddTime", Value(1)}}));
}

TEST_F(OtherProgramsFiles, SynchronizeAnswersFalseAfterEveryFailedWriteAndLogsItOnce) {
    // An existing folder that not even root can write to.
    Lib::setCertkey("before");
    if (!succeeds({"/usr/bin/chattr", "+i", preferences().string()})) {
        GTEST_SKIP() << "chattr +i does not work on " << preferences();
    }
    pellin::test::CapturedLog log;
    Lib::setSuccessAddTime(Value(4));
    Lib::removeKey("certkey");
    // The one writer that synchronizes by itself leaves the failure to the caller's synchronize.
    Lib::setUserNotification("m", Date{1.0e9}, Value(1));
    const bool written = Lib::synchronize();
    succeeds({"/usr/bin/chattr", "-i", preferences().string()});
    EXPECT_FALSE(written);
    EXPECT_TRUE(Lib::synchronize());  // each failure is answered once

    // A value the store refuses, then a write that works.
    Lib::setCertkey(std::string("bell\x07"));
    Lib::setFailureAddTime(Value(5));
    EXPECT_FALSE(Lib::synchronize());
    EXPECT_TRUE(Lib::synchronize());

    std::vector<std::string> errors;
    for (const auto& message : log.messages()) {
        if (message.flag == lumberjack::DDLogFlagError) {
            errors.push_back(message.message);
        }
    }
    ASSERT_EQ(errors.size(), 2u);
    // Its cause: the error number, the step and the path.
    EXPECT_NE(errors[0].find("(1)"), std::string::npos) << errors[0];  // EPERM
    EXPECT_NE(errors[0].find(preferences().string()), std::string::npos) << errors[0];
    EXPECT_NE(errors[1].find("certkey"), std::string::npos) << errors[1];
}

TEST_F(OtherProgramsFiles, AKeyTextOrDateXmlCannotCarryInABinaryFileBlocksNoWrite) {
    std::string binary = plistlib(
        "{'bad\\x01key': 1, 'checkDomain': 'bell\\x07', 'certkey': 'c', 'successAddTime': 5, "
        "'nextAutoUpdate': datetime.datetime(2001, 1, 1)}",
        "FMT_BINARY");
    const std::size_t date = binary.find(std::string("\x33\0\0\0\0\0\0\0\0", 9));
    ASSERT_NE(date, std::string::npos);
    binary.replace(date + 1, 2, "\x7f\xf8");  // a date of NaN seconds
    writeDomain(binary);
    EXPECT_TRUE(Lib::getCheckDomain().isNone());
    EXPECT_EQ(Lib::getNextAutoUpdate(), Value(""));
    EXPECT_EQ(Lib::getCertkey(), "c");
    Lib::setFailureAddTime(Value(7));
    EXPECT_TRUE(Lib::synchronize());
    EXPECT_EQ(onDisk(), Value(Dictionary{{"certkey", Value("c")},
                                         {"successAddTime", Value(5)},
                                         {"failureAddTime", Value(7)}}));
}

TEST_F(OtherProgramsFiles, AnUnsignedIntegerStaysAnIntegerThroughAnUnrelatedWrite) {
    for (const char* format : {"FMT_XML", "FMT_BINARY"}) {
        writeDomain(plistlib("{'checkDomain': 2**64 - 1, 'successAddTime': 2**63}", format));
        EXPECT_EQ(Lib::getCheckDomain().description(), "18446744073709551615") << format;
        Lib::setFailureAddTime(Value(1));
        const std::string text = pellin::test::readFile(domainFile());
        EXPECT_NE(text.find("<integer>18446744073709551615</integer>"), std::string::npos) << text;
        EXPECT_NE(text.find("<integer>9223372036854775808</integer>"), std::string::npos) << text;
        EXPECT_EQ(storedInAnotherProcess("checkDomain"), "18446744073709551615");
    }
}

TEST_F(OtherProgramsFiles, ASetterWhoseValueCannotBeStoredLeavesNoStaleValue) {
    const double year10000 = 253402300800.0;
    for (const Value& refused :
         {Value(Date{year10000}), Value(Date{std::numeric_limits<double>::quiet_NaN()}),
          Value(std::string("nul\0inside", 10))}) {
        Lib::setCertkey("old");
        Lib::setNextAutoUpdate(Value(Date{1.0e9}));
        Lib::setNextAutoUpdate(refused);
        Lib::setCertkey(refused.text() ? *refused.text() : "cr\x01");
        EXPECT_EQ(Lib::getNextAutoUpdate(), Value("")) << refused.description();
        EXPECT_EQ(Lib::getCertkey(), "");
        EXPECT_EQ(storedInAnotherProcess("certkey"), "(null)");
        EXPECT_FALSE(Lib::synchronize());
    }
}

TEST_F(OtherProgramsFiles, RemovingTheDomainLeavesNoSetAsideCopyAndOnlyOneIsKept) {
    for (int i = 0; i < 3; ++i) {
        writeDomain("<certkey>secret " + std::to_string(i) + "</certkey> in a damaged file");
        Lib::setSuccessAddTime(Value(i));
    }
    const std::vector<fs::path> copies = otherFiles();
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(pellin::test::readFile(copies[0]), "<certkey>secret 2</certkey> in a damaged file");
    EXPECT_EQ(fs::status(copies[0]).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    Lib::removePersistentDomain();
    EXPECT_TRUE(fs::is_empty(preferences()));
}

TEST_F(OtherProgramsFiles, AHugeFileReadsAsEmptyWithoutAbortAtAnyGetterOrAtStartUp) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory needs more address space than the limit leaves";
#endif
    for (const std::string domain : {"com.brenvik.mac.Pellin.common", "com.brenvik.bvlog"}) {
        const fs::path file = home.writeFile("Library/Preferences/" + domain + ".plist");
        fs::resize_file(file, std::uintmax_t{2} << 30);  // 2 GB that take no room on disk
    }
    // About 1 GB of address space: less than either file.
    const auto limited = [](const std::string& command) {
        return runProgram(
            {"/bin/sh", "-c", "ulimit -v 1000000 && exec \"$0\" \"$1\"", SETTINGS_PROBE, command});
    };
    const auto getter = limited("getProductInformation");
    EXPECT_TRUE(WIFEXITED(getter.status)) << "ended by signal " << WTERMSIG(getter.status);
    EXPECT_EQ(getter.output, "1\n");
    const auto startUp = limited("setupLogger");
    EXPECT_TRUE(WIFEXITED(startUp.status)) << "ended by signal " << WTERMSIG(startUp.status);
    EXPECT_EQ(startUp.output, "7\n");
    // Treated as damaged: set aside by the next write.
    Lib::setSuccessAddTime(Value(1));
    EXPECT_EQ(onDisk(), Value(Dictionary{{"successAddTime", Value(1)}}));
}

TEST_F(OtherProgramsFiles, OneValueTheReaderCannotTakeCostsOnlyThatValue) {
    for (const std::string bad : {"<real>1,5</real>", "<integer>18446744073709551616</integer>",
                                  "<date>2020-01-01</date>", "<array><date>x</date></array>"}) {
        writeDomain(
            xmlDomain("<key>checkDomain</key><string>kept</string><key>successAddTime</key>" + bad +
                      "<key>certkey</key><string>c</string>"));
        pellin::test::CapturedLog log(3);
        EXPECT_EQ(Lib::getCheckDomain(), Value("kept")) << bad;
        EXPECT_EQ(Lib::getSuccessAddTime(), Value(0));  // absent: its default
        Lib::setFailureAddTime(Value(2));
        EXPECT_EQ(onDisk(), Value(Dictionary{{"checkDomain", Value("kept")},
                                             {"certkey", Value("c")},
                                             {"failureAddTime", Value(2)}}));
        EXPECT_TRUE(otherFiles().empty());
        const auto warnings = log.texts();
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_NE(warnings[0].find("successAddTime"), std::string::npos) << warnings[0];
    }
}

TEST_F(OtherProgramsFiles, WhatRootCreatesInAUsersHomeBelongsToThatUser) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "only root can run with another user's home";
    }
    const uid_t user = 65534;
    ASSERT_EQ(chown(home.path().c_str(), user, user), 0);
    Lib::setSuccessAddTime(Value(1));
    Lib::synchronize();
    home.writeFile(kDomainFile, "damaged, and root's");
    Lib::setSuccessAddTime(Value(2));
    std::vector<fs::path> created = {home.path() / "Library", preferences(), domainFile()};
    const std::vector<fs::path> copies = otherFiles();
    ASSERT_EQ(copies.size(), 1u);
    created.push_back(copies[0]);
    for (const fs::path& path : created) {
        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0) << path;
        EXPECT_EQ(info.st_uid, user) << path;
    }
}

}  // namespace
