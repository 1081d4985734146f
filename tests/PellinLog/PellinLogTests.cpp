// PellinLog: the line format, the log call macros, logging setup as a program does it, and the
// names the library shows other programs.

#include <PellinFoundation/Value.h>
#include <PellinLog/LoggerFormatterClassName.h>
#include <PellinLog/PellinLogCall.h>
#include <PellinLog/PellinLogVersion.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <regex>
#include <set>
#include <sstream>

#include "CapturedLog.h"
#include "ScopedEnvironment.h"
#include "Subprocess.h"
#include "TestCases.h"

namespace fs = std::filesystem;
using namespace pellin::test;
using Lines = std::vector<std::string>;

TEST(LineFormat, AMessageBecomesTimeLevelQueueFileLineFunctionAndText) {
    for (const auto& c : casesIn("log-line-format.tsv")) {
        ScopedEnvironment environment;
        std::istringstream variables(c.at(0));
        for (std::string variable; variables >> variable;) {
            const auto equals = variable.find('=');
            environment.set(variable.substr(0, equals), variable.substr(equals + 1));
        }
        tzset();
        lumberjack::DDLogMessage m;
        m.message = c.at(6);
        m.flag = static_cast<lumberjack::DDLogFlag>(std::stoul(c.at(2)));
        m.fileName = c.at(3);
        m.function = "+[C f]";
        m.line = std::stoul(c.at(4));
        m.timestamp =
            std::chrono::system_clock::time_point(std::chrono::microseconds(std::stoll(c.at(1))));
        m.queueLabel = c.at(5);
        EXPECT_EQ(LoggerFormatterClassName().formatLogMessage(m), c.at(7)) << c.at(0);
    }
    tzset();
}

namespace {

// A home of its own, a log captured in this process, and the probe program's log files.
class LogCall : public ::testing::Test {
  protected:
    fs::path logs() const { return home_.path() / "Library" / "Logs" / "AppKitProbe"; }

    // "... [DEBUG] ... Start logEveryLevel" -> "DEBUG Start logEveryLevel" when every other piece
    // of the line is as it should be (a line that is not stays as it is); joined by " | ".
    static std::string levelsAndTexts(const Lines& lines) {
        static const std::regex format(
            R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}:\d{3} \[([A-Z]+)\] \[main\] )"
            R"(\[Probe\.cpp:\d+ \+\[Probe logEveryLevel\]\] (.*))");
        std::string out;
        for (const auto& line : lines) {
            out += (out.empty() ? "" : " | ") + std::regex_replace(line, format, "$1 $2");
        }
        return out;
    }

    TemporaryHome home_;
    CapturedLog log_;
};

using LoggerSetup = LogCall;

}  // namespace

// A macro logs with its flag and the level of the moment; when that level holds the flag off,
// it evaluates no argument (which lines each level lets through: the levels table below). An
// error line is in the sinks before the call returns, after the lines logged before it, so that
// a crash right after it loses nothing.
TEST_F(LogCall, AFilteredCallEvaluatesNothingAndAnErrorLineIsInBeforeTheCallReturns) {
    PELLIN_METHOD("+[LogCallTests levels]");
    log_->setDelay(std::chrono::milliseconds(20));
    int evaluations = 0;
    ddLogLevel = 3;
    DDLogInfo("%d", ++evaluations);
    DDLogWarn("second %d", ++evaluations);
    const unsigned long line = __LINE__ + 1;
    DDLogError("Error %@ code = %ld description = %@", "x", 2L, "No such file");
    const auto messages = log_->messages();  // without a flush
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(evaluations, 1);
    EXPECT_EQ(messages[0].message, "second 1");
    EXPECT_EQ(messages[0].flag, lumberjack::DDLogFlagWarning);
    EXPECT_EQ(messages[0].level, 3);
    EXPECT_EQ(messages[1].message, "Error x code = 2 description = No such file");
    EXPECT_EQ(messages[1].file, __FILE__);
    EXPECT_EQ(messages[1].line, line);
}

// The text of an asynchronous line is made on the sink's queue, later: the arguments are taken
// as they are at the call, whatever the caller does with them afterwards.
TEST_F(LogCall, ArgumentsChangedAfterTheCallPrintAsTheyWereAtTheCall) {
    PELLIN_METHOD("+[LogCallTests changedAfterTheCall]");
    log_->hold();
    DDLogInfo("held");  // the sink's queue waits at this line until released
    std::string text = "before";
    char characters[8] = "before";
    foundation::Value described("before");
    std::string longText(1000, 'b');  // more than a call captures on its stack
    long number = 1;
    DDLogInfo("%@ %s %@ %ld %@", text, characters, described, number, longText);
    text = "after";
    std::strcpy(characters, "after");
    described = foundation::Value("after");
    longText.assign(1000, 'a');
    number = 2;
    log_->release();
    EXPECT_EQ(log_.texts(), (Lines{"held", "before before before 1 " + std::string(1000, 'b')}));
}

// Each level lets through its own lines and those above it; without a setting the level is
// info. Logging turned off creates not even a log file. The console and system-log sinks take
// the same lines; neither writes a file.
TEST_F(LoggerSetup, EachLevelWritesItsLinesAndThoseAboveIt) {
    for (const auto& c : casesIn("log-levels.tsv")) {
        SCOPED_TRACE(c.at(0) + " " + c.at(1));
        fs::remove_all(logs());
        if (c.at(1) != "none") {
            home_.writeFile(
                "Library/Preferences/com.brenvik.bvlog.plist",
                "<plist version=\"1.0\"><dict><key>level</key>" + c.at(1) + "</dict></plist>\n");
        }
        const auto run = runProgram({logProbe(), c.at(0)}, {ProgramOptions::Errors::Collected});
        EXPECT_TRUE(run.exitedWith(0));
        EXPECT_EQ(run.output, c.at(2) + "\n");
        const bool console = c.at(0) == "consolesetup";
        EXPECT_EQ(
            levelsAndTexts(console ? linesOf(run.errors) : logLines(home_.path(), "AppKitProbe")),
            c.at(3));
        EXPECT_EQ(run.errors.empty(), !console);
        EXPECT_EQ(fs::exists(logs()), c.at(0) == "setup" && !c.at(3).empty());
    }
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
    const fs::path probe = copyWithLibraries("AppKitProbe", home_.parent() / "probe");
    for (const std::string home : {"-u HOME", "HOME=", "HOME=relative/home"}) {
        SCOPED_TRACE(home);
        fs::create_directories(work);
        fs::permissions(work, fs::perms::all);
        // Standard error a file: another user cannot reopen a pipe of root's.
        const fs::path errors = home_.path() / "errors";
        const auto run = runProgram({"/bin/sh", "-c",
                                     "cd \"$1\" && exec /usr/bin/env $2 LD_LIBRARY_PATH=\"$3\" "
                                     "/usr/bin/setpriv --reuid=4242 --regid=4242 --clear-groups "
                                     "\"$4\" setup 2>\"$0\"",
                                     errors, work, home, probe.parent_path(), probe});
        EXPECT_TRUE(run.exitedWith(0));
        EXPECT_EQ(run.output.substr(0, 2), "7\n");
        EXPECT_EQ(readFile(errors),
                  "AppKitProbe: no log file is written: the home folder is unknown or not an "
                  "absolute path\n");
        EXPECT_TRUE(fs::is_empty(work));
        fs::remove_all(work);
    }
}

// Other programs see exactly the names listed, and the two version symbols hold these values.
TEST(Exports, TheLibraryShowsItsOwnNamesAndNoOthers) {
    const auto run = runProgram({"/usr/bin/nm", "-D", "--defined-only", "--demangle",
                                 (buildDirectory() / "lib" / "libPellinLog.so").string()});
    std::set<std::string> names;
    for (const auto& line : linesOf(run.output)) {  // "0000000000011470 R PellinLogVersionNumber"
        names.insert(line.substr(std::min<std::size_t>(line.size(), 19)));
    }
    std::set<std::string> listed;
    for (const auto& c : casesIn("pellinlog-exports.tsv")) {
        listed.insert(c.at(0));
        EXPECT_TRUE(names.contains(c.at(0)) || c.at(1) == "allowed") << "missing: " << c.at(0);
    }
    for (const auto& name : names) {
        EXPECT_TRUE(listed.contains(name) || name.starts_with("PellinLogger::") ||
                    name.starts_with("LoggerFormatterClassName::"))
            << "leaked: " << name;
    }
    EXPECT_STREQ(reinterpret_cast<const char*>(PellinLogVersionString),
                 "@(#)PROGRAM:PellinLog  PROJECT:Pellin-1\n");
    EXPECT_EQ(PellinLogVersionNumber, 1.0);
}
