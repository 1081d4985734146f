// The shared settings store with what other programs, damaged disks and root leave behind: no
// value lost or altered, no failed write reported as success, no stale value, no abort.
#include <PellinFoundation/PropertyList.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <set>

#include "CapturedLog.h"
#include "SharedDomain.h"

using foundation::Date;
using foundation::Dictionary;
using foundation::Value;
using Lib = UserDefaultConfigurationLib;
using pellin::test::runProgram;
namespace fs = std::filesystem;

namespace {

class OtherProgramsFiles : public pellin::test::PellinDomainTest {
  protected:
    fs::path preferences() const { return home.path() / "Library/Preferences"; }
    Value onDisk() const {
        return foundation::PropertyListSerialization::propertyListWithContentsOfFile(
                   domainFile().string())
            .value_or(Value());
    }
    std::set<fs::path> files() const {
        return {fs::directory_iterator(preferences()), fs::directory_iterator()};
    }
};

// Files of the fuzz corpus as other programs wrote them, and all each holds after a write of
// failureAddTime: a repeated key keeps its last value, and each value the reader cannot take
// (or XML cannot carry) costs only itself, and a warning.
TEST_F(OtherProgramsFiles, AWriteKeepsAllItCanOfAFileAnotherProgramWrote) {
    const std::tuple<std::string, Dictionary, std::size_t> cases[] = {
        {"bad-values.xml",
         {{"a", Value("last")},
          {"u", Value(std::uint64_t{18446744073709551615u})},
          {"ok", Value(true)}},
         4},
        {"control-key.bplist", {{"kept", Value("c")}}, 3},
        {"date-of-nan-seconds.bplist",  // and a key and a text XML cannot carry
         {{"certkey", Value("c")}, {"successAddTime", Value(5)}},
         3},
    };
    for (auto [file, after, warnings] : cases) {
        home.writeFile("Library/Preferences/" + domainFile().filename().string(),
                       pellin::test::readFile(PROPERTY_LIST_CORPUS "/" + file));
        pellin::test::CapturedLog log(3);
        Lib::setFailureAddTime(Value(2));
        after.insert_or_assign("failureAddTime", Value(2));
        EXPECT_EQ(onDisk(), Value(after)) << file;
        EXPECT_EQ(files().size(), 1u) << "nothing set aside";
        EXPECT_EQ(log.texts().size(), warnings) << file;
    }
    EXPECT_EQ(Lib::getCertkey(), "c");
}

TEST_F(OtherProgramsFiles, SynchronizeAnswersFalseAfterEveryFailedWriteAndLogsItsCauseOnce) {
    Lib::setCertkey("before");
    if (!runProgram({"/usr/bin/chattr", "+i", preferences().string()}).exitedWith(0)) {
        GTEST_SKIP() << "chattr +i does not work on " << preferences();
    }
    pellin::test::CapturedLog log(3);
    Lib::setSuccessAddTime(Value(4));
    // The one writer that synchronizes by itself leaves the failure to the caller's synchronize.
    Lib::setUserNotification("m", Date{1.0e9}, Value(1));
    const bool written = Lib::synchronize();
    runProgram({"/usr/bin/chattr", "-i", preferences().string()});
    EXPECT_FALSE(written);
    EXPECT_TRUE(Lib::synchronize());  // each failure is answered once
    ASSERT_EQ(log.texts().size(), 1u);
    EXPECT_NE(log.texts()[0].find("(1)"), std::string::npos) << log.texts()[0];  // EPERM
    EXPECT_NE(log.texts()[0].find(preferences().string()), std::string::npos);
}

TEST_F(OtherProgramsFiles, ASetterWhoseValueCannotBeStoredLeavesNoStaleValue) {
    for (const Value& refused : {Value(Date{253402300800.0}), Value(Date{std::nan("")}),
                                 Value(std::string("nul\0inside", 10))}) {
        Lib::setCertkey("old");
        Lib::setNextAutoUpdate(Value(Date{1.0e9}));
        Lib::setNextAutoUpdate(refused);
        Lib::setCertkey(refused.text() ? *refused.text() : "cr\x01");
        EXPECT_EQ(Lib::getNextAutoUpdate(), Value("")) << refused.description();
        EXPECT_EQ(Lib::getCertkey(), "");
        EXPECT_EQ(pellin::test::storedInAnotherProcess("certkey"), "(null)");
        EXPECT_FALSE(Lib::synchronize());
    }
}

TEST_F(OtherProgramsFiles, AHugeFileReadsAsEmptyWithoutAbortAtAGetterOrAtStartUp) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer's shadow memory needs more address space than the limit leaves";
#endif
    for (const std::string domain : {"com.brenvik.mac.Pellin.common", "com.brenvik.bvlog"}) {
        const fs::path file = home.writeFile("Library/Preferences/" + domain + ".plist");
        fs::resize_file(file, std::uintmax_t{2} << 30);  // 2 GB that take no room on disk
    }
    for (const auto& [command, answer] :
         {std::pair{"getProductInformation", "1\n"}, {"setupLogger", "7\n"}}) {
        // About 1 GB of address space: less than either file.
        const auto run = runProgram(
            {"/bin/sh", "-c", "ulimit -v 1000000 && exec \"$0\" \"$1\"", SETTINGS_PROBE, command});
        EXPECT_TRUE(run.exitedWith(0) && run.output == answer) << command << " " << run.status;
    }
    Lib::setSuccessAddTime(Value(1));  // damaged: set aside
    EXPECT_EQ(onDisk(), Value(Dictionary{{"successAddTime", Value(1)}}));
}

TEST_F(OtherProgramsFiles, WhatRootCreatesInAUsersHomeBelongsToThatUser) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "only root can run with another user's home";
    }
    ASSERT_EQ(chown(home.path().c_str(), 65534, 65534), 0);
    Lib::setSuccessAddTime(Value(1));
    home.writeFile("Library/Preferences/" + domainFile().filename().string(), "damaged, root's");
    Lib::setSuccessAddTime(Value(2));
    std::set<fs::path> created = files();
    ASSERT_EQ(created.size(), 2u);  // the domain file and the damaged one, set aside
    created.insert({home.path() / "Library", preferences()});
    for (const fs::path& path : created) {
        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0) << path;
        EXPECT_EQ(info.st_uid, 65534u) << path;
        EXPECT_TRUE(S_ISDIR(info.st_mode) || (info.st_mode & 077) == 0) << path;  // secrets
    }
}

}  // namespace
