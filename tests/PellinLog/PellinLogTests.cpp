// PellinLog: the line format, the log call macros, logging setup as a program does it (the
// level from the "level" key of the settings domain "com.brenvik.bvlog", lines in
// $HOME/Library/Logs/<program>/) and the names the library shows other programs.

#include <PellinLog/LoggerFormatterClassName.h>
#include <PellinLog/PellinLogCall.h>
#include <PellinLog/PellinLogVersion.h>
#include <PellinLog/PellinLogger.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <regex>
#include <set>

#include "ChildProcess.h"
#include "LogTesting.h"
#include "RecordingSink.h"

namespace fs = std::filesystem;
using foundation::Value;
using lumberjack::DDLogFlag;
using pellin::test::linesOf;
using pellin::test::logProbe;
using pellin::test::ProgramOptions;
using pellin::test::RecordingSink;
using pellin::test::Registered;
using pellin::test::runProgram;
using Lines = std::vector<std::string>;

TEST(LineFormat, AMessageBecomesTimeLevelQueueFileLineFunctionAndText) {
    const struct {
        unsigned flag;
        const char* fileName;
        unsigned long line;
        const char* queue;
        const char* message;
        const char* expected;  // after the time stamp
    } cases[] = {
        {8, "UninstallCommand.cpp", 42, "main", "Start executeUninstallCommand",
         " [DEBUG] [main] [UninstallCommand.cpp:42 +[C f]] Start executeUninstallCommand"},
        {1, "/deep/folder/PellinAlert.cpp", 7, "uninstall-7", "100% of %@ and %d\ttab \xc3\xa9",
         " [ERROR] [uninstall-7] [PellinAlert.cpp:7 +[C f]] 100% of %@ and %d\ttab \xc3\xa9"},
        {2, "", ULONG_MAX, "main", "w", " [WARN] [main] [:18446744073709551615 +[C f]] w"},
    };
    LoggerFormatterClassName formatter;
    lumberjack::DDLogMessage m;
    m.function = "+[C f]";
    for (const auto& c : cases) {
        m.flag = static_cast<DDLogFlag>(c.flag);
        m.fileName = c.fileName;
        m.line = c.line;
        m.queueLabel = c.queue;
        m.message = c.message;
        EXPECT_EQ(formatter.formatLogMessage(m).substr(23), c.expected);
    }
    // A flag that is not exactly one level.
    for (unsigned flag : {0u, 3u, 32u, 0xffffffffu}) {
        m.flag = static_cast<DDLogFlag>(flag);
        EXPECT_TRUE(formatter.formatLogMessage(m).substr(23).starts_with(" [UNKNOWN] ")) << flag;
    }
    // Milliseconds counted, not rounded.
    const auto base = std::chrono::system_clock::time_point(std::chrono::seconds(1709629503));
    m.timestamp = base + std::chrono::microseconds(42999);
    EXPECT_EQ(formatter.formatLogMessage(m).substr(19, 4), ":042");
    m.timestamp = base + std::chrono::microseconds(43000);
    EXPECT_EQ(formatter.formatLogMessage(m).substr(19, 4), ":043");
}

// Local time as the C library sees it, for zone names and for POSIX TZ strings, which carry the
// offset and any daylight-saving rule in the text itself; neither calendar nor digits follow
// the user's locale. The formatter runs in a process of its own, with TZ set at its start.
TEST(LineFormat, TheTimeStampIsTheLocalTimeInTheGregorianCalendar) {
    pellin::test::TemporaryHome home;
    const struct {
        std::vector<std::string> environment;
        long long utcSeconds;
        const char* local;
    } cases[] = {
        {{"TZ=Asia/Kathmandu"}, 1709608803, "2024/03/05 09:05:03"},
        {{"TZ=America/New_York"}, 1709647503, "2024/03/05 09:05:03"},
        {{"TZ=IST-5:30"}, 1709609703, "2024/03/05 09:05:03"},
        {{"TZ=<-03>3"}, 1709640303, "2024/03/05 09:05:03"},
        {{"TZ=EST5EDT,M3.2.0,M11.1.0"}, 1709647503, "2024/03/05 09:05:03"},
        {{"TZ=EST5EDT,M3.2.0,M11.1.0"}, 1720184703, "2024/07/05 09:05:03"},
        {{"TZ=CET-1CEST,M3.5.0,M10.5.0/3"}, 1720163103, "2024/07/05 09:05:03"},
        {{"TZ=CET-1CEST,M3.5.0,M10.5.0/3"}, 1733385903, "2024/12/05 09:05:03"},
        {{"TZ=UTC", "LANG=th_TH.UTF-8@calendar=buddhist;numbers=thai", "LC_ALL=ar_EG.UTF-8"},
         1709647503,
         "2024/03/05 14:05:03"},
    };
    for (const auto& c : cases) {
        const auto run =
            runProgram({logProbe(), "format", std::to_string(c.utcSeconds * 1000 + 42)},
                       {ProgramOptions::Errors::Inherited, {}, c.environment});
        EXPECT_EQ(run.output, std::string(c.local) +
                                  ":042 [INFO] [main] [file.cpp:42 +[Class selector]] text\n")
            << c.environment.front();
    }
}

namespace {

struct Described {
    std::string text;
    std::string description() const { return text; }
};

std::string counted(int& evaluations) {
    ++evaluations;
    return "value";
}

class LogCall : public ::testing::Test {
  protected:
    ~LogCall() override { ddLogLevel = previousLevel_; }

    pellin::test::TemporaryHome home_;
    std::int32_t previousLevel_ = ddLogLevel;
    Registered<RecordingSink> sink_;
};

}  // namespace

// A macro logs, with its flag and the level of the moment, only when that level lets its flag
// through; otherwise it evaluates no argument.
TEST_F(LogCall, OnlyWhatTheLevelOfTheMomentLetsThroughIsLoggedOrEvaluated) {
    PELLIN_METHOD("+[LogCallTests levels]");
    int evaluations = 0;
    ddLogLevel = 1;
    DDLogWarn("%@", counted(evaluations));
    ddLogLevel = 7;
    DDLogDebug("%@", counted(evaluations));
    DDLogVerbose("%@", counted(evaluations));
    DDLogWarn("second %@", counted(evaluations));
    ddLogLevel = 0;
    DDLogError("%@", counted(evaluations));
    lumberjack::DDLog::flushLog();
    const auto messages = sink_->messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(evaluations, 1);
    EXPECT_EQ(messages[0].message, "second value");
    EXPECT_EQ(messages[0].flag, lumberjack::DDLogFlagWarning);
    EXPECT_EQ(messages[0].level, 7);
}

// An error line is in the sinks before the call returns, so that a crash right after it loses
// nothing; it comes after the lines logged before it, with its file and line.
TEST_F(LogCall, AnErrorLineIsWrittenBeforeTheCallReturns) {
    PELLIN_METHOD("-[LogCallTests errorLine]");
    auto slow = std::make_shared<RecordingSink>();
    slow->setDelay(std::chrono::milliseconds(20));
    Registered<RecordingSink> sink(slow);
    ddLogLevel = 15;
    DDLogDebug("Start %@", pellinMethod.selector());
    const unsigned long line = __LINE__ + 1;
    DDLogError("Error %@ code = %ld description = %@", "x", 2L, "No such file");
    const auto messages = slow->messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].message, "Start errorLine");
    EXPECT_EQ(messages[1].message, "Error x code = 2 description = No such file");
    EXPECT_EQ(messages[1].file, __FILE__);
    EXPECT_EQ(messages[1].line, line);
}

// The text of an asynchronous line is made on the sink's queue, later: the arguments are taken
// as they are at the call, whatever the caller does with them afterwards.
TEST_F(LogCall, ArgumentsChangedAfterTheCallPrintAsTheyWereAtTheCall) {
    PELLIN_METHOD("+[LogCallTests changedAfterTheCall]");
    ddLogLevel = 31;
    sink_->hold();
    DDLogInfo("held");  // the sink's queue waits at this line until released
    std::string text = "before";
    char characters[8] = "before";
    Described described{"before"};
    std::string longText(1000, 'b');  // more than a call captures on its stack
    long number = 1;
    DDLogInfo("%@ %s %@ %ld %@", text, characters, described, number, longText);
    text = "after";
    std::strcpy(characters, "after");
    described.text = "after";
    longText.assign(1000, 'a');
    number = 2;
    sink_->release();
    lumberjack::DDLog::flushLog();
    EXPECT_EQ(sink_->lines(), (Lines{"held", "before before before 1 " + std::string(1000, 'b')}));
}

namespace {

class LoggerSetup : public ::testing::Test {
  protected:
    fs::path logs() const { return home_.path() / "Library" / "Logs" / "LogProbe"; }

    void setLevel(const std::string& plistValue) const {
        home_.writeFile("Library/Preferences/com.brenvik.bvlog.plist",
                        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                        "<plist version=\"1.0\">\n<dict>\n\t<key>level</key>\n\t" +
                            plistValue + "\n</dict>\n</plist>\n");
    }

    // Runs the probe; its level as it printed it.
    std::string runSetup(const std::string& mode = "setup") {
        const auto run = runProgram({logProbe(), mode}, {ProgramOptions::Errors::Collected});
        EXPECT_TRUE(run.exitedWith(0));
        errors_ = run.errors;
        return run.output.substr(0, run.output.find('\n'));
    }

    // "[DEBUG] ... Start logEveryLevel" -> "DEBUG Start logEveryLevel", after checking every
    // other piece of the line.
    static Lines levelsAndTexts(const std::string& text) {
        static const std::regex format(
            R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}:\d{3} \[([A-Z]+)\] \[main\] )"
            R"(\[LogProbe\.cpp:\d+ \+\[Probe logEveryLevel\]\] (.*))");
        Lines out;
        for (const auto& line : linesOf(text)) {
            std::smatch match;
            out.push_back(std::regex_match(line, match, format)
                              ? match[1].str() + " " + match[2].str()
                              : "malformed: " + line);
        }
        return out;
    }

    pellin::test::TemporaryHome home_;
    std::string errors_;
};

const std::string kStart = "DEBUG Start logEveryLevel";
const std::string kError = "ERROR Error x code = 2";
const std::string kWarning = "WARN Warning -1";
const std::string kInfo = "INFO path isExist=YES";
const std::string kVerbose = "VERBOSE verbose 1";
const std::string kEnd = "DEBUG End logEveryLevel";

}  // namespace

// Each level lets through its own lines and those above it; without a setting the level is
// info, which writes no entry or exit lines. Anything that is not exactly one of the six names
// turns logging off altogether, errors included: not even a log file is created.
TEST_F(LoggerSetup, EachLevelWritesItsLinesAndThoseAboveIt) {
    const struct {
        const char* setting;
        const char* mask;
        Lines lines;
    } cases[] = {
        {nullptr, "7", {kError, kWarning, kInfo}},
        {"<string>DEBUG</string>", "15", {kStart, kError, kWarning, kInfo, kEnd}},
        {"<string>VERBOSE</string>", "31", {kStart, kError, kWarning, kInfo, kVerbose, kEnd}},
        {"<string>ERROR</string>", "1", {kError}},
        {"<string>WARN</string>", "3", {kError, kWarning}},
        {"<string>OFF</string>", "0", {}},
        {"<string>Debug</string>", "0", {}},
        {"<integer>8</integer>", "0", {}},
        {"<true/>", "0", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting != nullptr ? c.setting : "no setting");
        fs::remove_all(logs());
        if (c.setting != nullptr) {
            setLevel(c.setting);
        }
        EXPECT_EQ(runSetup(), c.mask);
        EXPECT_EQ(levelsAndTexts(pellin::test::allLogText(home_.path(), "LogProbe")), c.lines);
        EXPECT_EQ(fs::exists(logs()), !c.lines.empty());
    }
}

// Other programs read the map through the exported global.
TEST_F(LoggerSetup, TheExportedLevelMapHoldsTheSixNamesAndTheirMasks) {
    const foundation::Dictionary expected{{"ERROR", Value(1)},    {"WARN", Value(3)},
                                          {"INFO", Value(7)},     {"DEBUG", Value(15)},
                                          {"VERBOSE", Value(31)}, {"OFF", Value(0)}};
    ASSERT_EQ(PellinLogger::logLevelMap(), _logLevelMap);
    EXPECT_EQ(*_logLevelMap, expected);
}

// The console and system-log sinks take the same lines; neither writes a file.
TEST_F(LoggerSetup, TheConsoleAndSystemLogSinksTakeTheSameLines) {
    EXPECT_EQ(runSetup("consolesetup"), "31");
    EXPECT_EQ(levelsAndTexts(errors_), (Lines{kStart, kError, kWarning, kInfo, kVerbose, kEnd}));
    EXPECT_EQ(runSetup("syslogsetup"), "31");
    EXPECT_EQ(errors_, "");
    EXPECT_FALSE(fs::exists(logs()));
}

// Without an absolute home there is no log file, rather than one below whatever folder the
// program was started in: HOME unset or empty for a user the password database does not know,
// or HOME relative. The program says so once and runs on.
TEST_F(LoggerSetup, WithoutAnAbsoluteHomeNothingIsWrittenInTheWorkingFolder) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root, to run the program as a user without a password entry";
    }
    const fs::path work = home_.path() / "work";
    // The user runs a copy beside the home: the checkout may lie where it cannot enter.
    fs::permissions(home_.parent(), fs::perms::owner_all | fs::perms::others_exec);
    const fs::path probe = pellin::test::copyWithLibraries("LogProbe", home_.parent() / "probe");
    for (const std::string home : {"-u", "HOME=", "HOME=relative/home"}) {
        SCOPED_TRACE(home);
        fs::create_directories(work);
        fs::permissions(work, fs::perms::all);
        // Standard error a file: another user cannot reopen a pipe of root's.
        const fs::path errors = home_.path() / "errors";
        std::vector<std::string> argv{"/bin/sh",      "-c", "exec \"$@\" 2>\"$0\"", errors,
                                      "/usr/bin/env", "-C", work.string(),          home};
        if (home == "-u") {
            argv.push_back("HOME");
        }
        argv.insert(argv.end(),
                    {"LD_LIBRARY_PATH=" + probe.parent_path().string(), "/usr/bin/setpriv",
                     "--reuid=4242", "--regid=4242", "--clear-groups", probe.string(), "setup"});
        const auto run = runProgram(argv);
        EXPECT_TRUE(run.exitedWith(0));
        EXPECT_EQ(run.output.substr(0, 2), "7\n");
        EXPECT_EQ(pellin::test::readFile(errors),
                  "LogProbe: no log file is written: the home folder is unknown or not an "
                  "absolute path\n");
        EXPECT_TRUE(fs::is_empty(work));
        fs::remove_all(work);
    }
}

// Other programs see exactly ddLogLevel, _logLevelMap, PellinLogger, LoggerFormatterClassName
// and the two version symbols: nothing the library uses inside leaks into their namespace.
TEST(Exports, TheLibraryShowsItsOwnNamesAndNoOthers) {
    const auto run =
        runProgram({"/usr/bin/nm", "-D", "--defined-only", "--demangle",
                    (pellin::test::buildDirectory() / "lib" / "libPellinLog.so").string()});
    std::set<std::string> names;
    for (const auto& line : linesOf(run.output)) {  // "0000000000011470 R PellinLogVersionNumber"
        names.insert(line.substr(std::min<std::size_t>(line.size(), 19)));
    }
    const std::set<std::string> plain = {
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
        "typeinfo for LoggerFormatterClassName",
        "typeinfo name for LoggerFormatterClassName"};
    for (const auto& name : plain) {
        EXPECT_TRUE(names.contains(name) || name.starts_with("typeinfo")) << "missing: " << name;
    }
    for (const auto& name : names) {
        EXPECT_TRUE(plain.contains(name) || name.starts_with("PellinLogger::") ||
                    name.starts_with("LoggerFormatterClassName::"))
            << "leaked: " << name;
    }
    EXPECT_STREQ(reinterpret_cast<const char*>(PellinLogVersionString),
                 "@(#)PROGRAM:PellinLog  PROJECT:Pellin-1\n");
    EXPECT_EQ(PellinLogVersionNumber, 1.0);
}
