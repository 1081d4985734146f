#include <PellinLumberjack/DDFileLogger.h>
#include <PellinLumberjack/DDLog.h>
#include <PellinLumberjack/DDLogFileManager.h>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>

#include "RecordingSink.h"
#include "ScopedEnvironment.h"
#include "TemporaryHome.h"

namespace fs = std::filesystem;
using lumberjack::DDFileLogger;
using lumberjack::DDLog;
using lumberjack::DDLogFileManager;
using pellin::test::logText;
using pellin::test::readFile;
using pellin::test::Registered;

namespace {

class FileSink : public ::testing::Test {
  protected:
    fs::path logs() const { return home_.path() / "Library" / "Logs" / "LumberjackTests"; }

    std::vector<fs::path> logFiles() const {
        return DDLogFileManager(logs(), "LumberjackTests").sortedLogFilePaths();
    }

    std::string allLogText() const {
        std::string text;
        for (const auto& path : logFiles()) {
            text += readFile(path);
        }
        return text;
    }

    // A line of exactly `size` bytes with its line feed.
    static std::string lineOfSize(int number, std::size_t size) {
        std::string line = std::to_string(number) + " ";
        line.resize(size - 1, '.');
        return line;
    }

    static std::string nameStartedAt(std::time_t time) {
        return pellin::test::logFileNameStartedAt("LumberjackTests", time);
    }

    pellin::test::TemporaryHome home_;
};

}  // namespace

TEST_F(FileSink, ItsFolderIsLibraryLogsAndTheProgramNameInTheHomeOfTheMoment) {
    EXPECT_EQ(DDLogFileManager::currentProgramName(), "LumberjackTests");
    EXPECT_EQ(DDLogFileManager().logsDirectory(), logs());
    EXPECT_EQ(DDFileLogger().logFileManager().logsDirectory(), logs());
}

TEST_F(FileSink, ItsDefaultsAreOneMebibyteOneDayAndFiveFiles) {
    DDFileLogger logger;
    EXPECT_EQ(logger.maximumFileSize(), 1024u * 1024u);
    EXPECT_EQ(logger.rollingFrequency(), std::chrono::hours(24));
    EXPECT_EQ(logger.logFileManager().maximumNumberOfLogFiles(), 5u);
}

TEST_F(FileSink, EachMessageIsOneLineEndedByALineFeed) {
    Registered<DDFileLogger> sink;
    logText(true, "first");
    logText(true, "second with % and \xc3\xa9 and %@");
    logText(false, "third", lumberjack::DDLogFlagError);
    ASSERT_EQ(logFiles().size(), 1u);
    EXPECT_EQ(allLogText(), "first\nsecond with % and \xc3\xa9 and %@\nthird\n");
}

// Lines are gathered and written a page at a time; lines of every length, some crossing page
// boundaries and some longer than a page, must come out exactly as they went in.
TEST_F(FileSink, LinesOfEveryLengthArriveWholeAndInOrder) {
    auto logger = std::make_shared<DDFileLogger>();
    logger->setMaximumFileSize(0);
    std::string expected;
    {
        Registered<DDFileLogger> sink(logger);
        for (int i = 0; i < 400; ++i) {
            const std::size_t length = static_cast<std::size_t>((i * 997) % 5000);
            const std::string line =
                std::to_string(i) + std::string(length, static_cast<char>('a' + i % 26));
            logText(i % 7 != 0, line);
            expected += line + "\n";
        }
    }
    ASSERT_EQ(logFiles().size(), 1u);
    EXPECT_EQ(allLogText(), expected);
}

TEST_F(FileSink, AProcessThatLogsNothingLeavesNoFile) {
    { Registered<DDFileLogger> sink; }
    EXPECT_FALSE(fs::exists(logs()));
}

TEST_F(FileSink, ALineThatWouldPassTheSizeLimitStartsANewFile) {
    auto logger = std::make_shared<DDFileLogger>();
    logger->setMaximumFileSize(1000);
    logger->logFileManager().setMaximumNumberOfLogFiles(0);
    std::string expected;
    {
        Registered<DDFileLogger> sink(logger);
        for (int i = 0; i < 50; ++i) {
            logText(true, lineOfSize(i, 100));
            expected += lineOfSize(i, 100) + "\n";
        }
    }
    const auto files = logFiles();
    ASSERT_EQ(files.size(), 5u);
    for (const auto& file : files) {
        EXPECT_EQ(fs::file_size(file), 1000u) << file;
    }
    EXPECT_EQ(allLogText(), expected);
}

TEST_F(FileSink, ALineLargerThanTheLimitIsWrittenWholeInAFileOfItsOwn) {
    auto logger = std::make_shared<DDFileLogger>();
    logger->setMaximumFileSize(100);
    {
        Registered<DDFileLogger> sink(logger);
        logText(true, "short");
        logText(true, std::string(300, 'L'));
        logText(true, "after");
    }
    const auto files = logFiles();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(readFile(files[1]), std::string(300, 'L') + "\n");
    EXPECT_EQ(readFile(files[2]), "after\n");
}

TEST_F(FileSink, OnlyTheFiveNewestFilesAreKept) {
    auto logger = std::make_shared<DDFileLogger>();
    logger->setMaximumFileSize(200);
    {
        Registered<DDFileLogger> sink(logger);
        for (int i = 0; i < 30; ++i) {
            logText(true, lineOfSize(i, 100));
        }
    }
    std::string newest;
    for (int i = 20; i < 30; ++i) {
        newest += lineOfSize(i, 100) + "\n";
    }
    EXPECT_EQ(logFiles().size(), 5u);
    EXPECT_EQ(allLogText(), newest);
}

TEST_F(FileSink, FilesOfOtherNamesInTheFolderAreNeverDeleted) {
    home_.writeFile("Library/Logs/LumberjackTests/notes.txt", "keep");
    home_.writeFile("Library/Logs/LumberjackTests/Other 2020-01-01--00-00-00-000.log", "keep");
    home_.writeFile("Library/Logs/LumberjackTests/LumberjackTests.log", "keep");
    auto logger = std::make_shared<DDFileLogger>();
    logger->setMaximumFileSize(100);
    {
        Registered<DDFileLogger> sink(logger);
        for (int i = 0; i < 10; ++i) {
            logText(true, lineOfSize(i, 100));
        }
    }
    EXPECT_EQ(logFiles().size(), 5u);
    EXPECT_EQ(readFile(logs() / "notes.txt"), "keep");
    EXPECT_EQ(readFile(logs() / "Other 2020-01-01--00-00-00-000.log"), "keep");
    EXPECT_EQ(readFile(logs() / "LumberjackTests.log"), "keep");
}

TEST_F(FileSink, ANewSinkContinuesTheNewestFileWhileItIsYoungAndNotFull) {
    const auto name = nameStartedAt(std::time(nullptr) - 3600);
    home_.writeFile(fs::path("Library/Logs/LumberjackTests") / name, "earlier run\n");
    {
        Registered<DDFileLogger> sink;
        logText(true, "this run");
    }
    ASSERT_EQ(logFiles().size(), 1u);
    EXPECT_EQ(readFile(logs() / name), "earlier run\nthis run\n");
}

TEST_F(FileSink, AFileOlderThanTheRollingFrequencyIsNotContinued) {
    const auto name = nameStartedAt(std::time(nullptr) - 25 * 3600);
    home_.writeFile(fs::path("Library/Logs/LumberjackTests") / name, "yesterday\n");
    {
        Registered<DDFileLogger> sink;
        logText(true, "today");
    }
    const auto files = logFiles();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(readFile(files[0]), "yesterday\n");
    EXPECT_EQ(readFile(files[1]), "today\n");
}

TEST_F(FileSink, AFullFileIsNotContinued) {
    const auto name = nameStartedAt(std::time(nullptr) - 60);
    home_.writeFile(fs::path("Library/Logs/LumberjackTests") / name, std::string(99, 'f') + "\n");
    auto logger = std::make_shared<DDFileLogger>();
    logger->setMaximumFileSize(100);
    {
        Registered<DDFileLogger> sink(logger);
        logText(true, "next");
    }
    const auto files = logFiles();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(readFile(files[1]), "next\n");
}

TEST_F(FileSink, AFolderThatCannotBeCreatedCostsTheLinesButNothingElse) {
    home_.writeFile("Library/Logs", "a file where the folder should be");
    {
        Registered<DDFileLogger> sink;
        logText(true, "lost");
        logText(false, "lost too", lumberjack::DDLogFlagError);
    }
    EXPECT_TRUE(fs::is_regular_file(home_.path() / "Library" / "Logs"));
}

// A file's age comes from its name. A new name carries the UTC offset of its local time, so
// that in the hour that repeats in autumn the later file is still the newer one; names of
// earlier versions, without an offset, are read as local time.
TEST_F(FileSink, FileNamesTellWhenEachFileWasStarted) {
    DDLogFileManager manager(logs(), "LumberjackTests");
    {
        pellin::test::ScopedEnvironment zone;
        zone.set("TZ", "IST-5:30");
        tzset();
        const auto path = manager.createNewLogFile();
        ASSERT_TRUE(path.has_value());
        EXPECT_TRUE(path->filename().string().ends_with("+0530.log")) << *path;
        const auto created = manager.creationDateOfLogFile(*path);
        ASSERT_TRUE(created.has_value());
        EXPECT_LT(std::chrono::abs(*created - std::chrono::system_clock::now()),
                  std::chrono::minutes(1));
    }
    tzset();
    const auto at = [&manager, this](const char* name) {
        const auto created = manager.creationDateOfLogFile(logs() / name);
        return created ? std::chrono::system_clock::to_time_t(*created) : std::time_t{-1};
    };
    // 00:30 and 01:10 UTC on 27 October 2024, in Berlin 02:30 summer time and 02:10 winter time.
    EXPECT_EQ(at("LumberjackTests 2024-10-27--02-30-00-000+0200.log"), 1729989000);
    EXPECT_EQ(at("LumberjackTests 2024-10-27--02-10-00-000+0100.log"), 1729991400);
    EXPECT_EQ(at("LumberjackTests 2024-03-05--09-05-03-042-0330.log"), 1709642103);
    const std::time_t started = std::time(nullptr) - 7200;
    EXPECT_EQ(at(nameStartedAt(started).c_str()), started);
    for (const char* foreign : {"LumberjackTests.log", "Other 2020-01-01--00-00-00-000.log",
                                "LumberjackTests 2020-01-01--00-00-00-000.txt",
                                "LumberjackTests 2020-01-01--00-00-00-000+01.log",
                                "LumberjackTests 2020-01-01--00-00-00-000*0100.log"}) {
        EXPECT_EQ(at(foreign), -1) << foreign;
    }
}

TEST_F(FileSink, TwoFilesStartedInOneMillisecondGetTwoNames) {
    DDLogFileManager manager(logs(), "LumberjackTests");
    manager.setMaximumNumberOfLogFiles(0);
    std::vector<fs::path> created;
    for (int i = 0; i < 20; ++i) {
        const auto path = manager.createNewLogFile();
        ASSERT_TRUE(path.has_value());
        created.push_back(*path);
    }
    EXPECT_EQ(manager.sortedLogFilePaths(), created);
}

// A link planted where a log file or folder should be (to a file only root may write, say) is
// not followed: the newest file as a link gets a new file beside it, the program's folder as a
// link gets nothing at all.
TEST_F(FileSink, ALinkWhereALogFileOrFolderShouldBeIsNotFollowed) {
    const fs::path target = home_.parent() / "root-only";
    std::ofstream(target) << "not for the log\n";
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_directories(logs());
    fs::create_symlink(target, logs() / nameStartedAt(std::time(nullptr) - 60));
    {
        Registered<DDFileLogger> sink;
        logText(true, "this run");
    }
    EXPECT_EQ(readFile(target), "not for the log\n");
    const auto files = logFiles();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(files[1])));
    EXPECT_EQ(readFile(files[1]), "this run\n");

    const fs::path elsewhere = home_.parent() / "elsewhere";
    fs::create_directories(elsewhere);
    fs::remove_all(logs());
    fs::create_directory_symlink(elsewhere, logs());
    {
        Registered<DDFileLogger> sink;
        logText(true, "not there");
    }
    EXPECT_TRUE(fs::is_empty(elsewhere));
}

// Lines at debug level carry the user's identity, so the folders and files are the user's
// alone; and when root runs with a user's HOME (sudo -E), nothing it creates there stays
// root's.
TEST_F(FileSink, WhatTheSinkCreatesIsPrivateAndBelongsToTheHomesOwner) {
    constexpr uid_t kOwner = 4242;
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(home_.path().c_str(), kOwner, kOwner), 0);
    }
    {
        Registered<DDFileLogger> sink;
        logText(true, "private");
    }
    const auto files = logFiles();
    ASSERT_EQ(files.size(), 1u);
    const std::pair<fs::path, mode_t> created[] = {{home_.path() / "Library", 0700},
                                                   {home_.path() / "Library" / "Logs", 0700},
                                                   {logs(), 0700},
                                                   {files[0], 0600}};
    for (const auto& [path, mode] : created) {
        struct stat status {};
        ASSERT_EQ(lstat(path.c_str(), &status), 0) << path;
        EXPECT_EQ(status.st_mode & 07777, mode) << path;
        EXPECT_EQ(status.st_uid, root ? kOwner : geteuid()) << path;
        EXPECT_EQ(status.st_gid, root ? kOwner : getegid()) << path;
    }
}
