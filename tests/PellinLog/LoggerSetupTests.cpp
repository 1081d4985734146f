// A program that sets up logging writes the lines its level lets through, in the Pellin line
// format, to $HOME/Library/Logs/<program>/, and the level comes from the "level" key of the
// settings domain "com.brenvik.bvlog".

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include <PellinLumberjack/DDLogFileManager.h>

#include "ChildProcess.h"
#include "TemporaryHome.h"

namespace fs = std::filesystem;
using pellin::test::builtProgram;
using pellin::test::readFile;
using pellin::test::runChild;

namespace {

class LoggerSetup : public ::testing::Test {
  protected:
    void setLevel(const std::string& plistValue) const {
        home_.writeFile("Library/Preferences/com.brenvik.bvlog.plist",
                        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                        "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                        "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                        "<plist version=\"1.0\">\n<dict>\n\t<key>level</key>\n\t" +
                            plistValue + "\n</dict>\n</plist>\n");
    }

    fs::path logs() const { return home_.path() / "Library" / "Logs" / "PellinLogSetupChild"; }

    // The child's level mask as it printed it.
    std::string runSetup(const std::string& mode = "setup") {
        const auto outcome = runChild(builtProgram("PellinLogSetupChild"), {mode});
        EXPECT_TRUE(outcome.exited);
        EXPECT_EQ(outcome.exitStatus, 0);
        standardError_ = outcome.standardError;
        std::string level = outcome.standardOutput;
        if (!level.empty() && level.back() == '\n') {
            level.pop_back();
        }
        return level;
    }

    static std::vector<std::string> linesOf(const std::string& text) {
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    std::vector<std::string> loggedLines() const {
        std::string text;
        for (const auto& file :
             lumberjack::DDLogFileManager(logs(), "PellinLogSetupChild").sortedLogFilePaths()) {
            text += readFile(file);
        }
        return linesOf(text);
    }

    // "[DEBUG] ... Start logEveryLevel" -> "DEBUG Start logEveryLevel", after checking every
    // other piece of the line.
    static std::vector<std::string> levelsAndTexts(const std::vector<std::string>& lines) {
        static const std::regex format(
            R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}:\d{3} \[([A-Z]+)\] \[main\] )"
            R"(\[PellinLogSetupChild\.cpp:\d+ \+\[SetupChild logEveryLevel\]\] (.*))");
        std::vector<std::string> out;
        for (const auto& line : lines) {
            std::smatch match;
            if (std::regex_match(line, match, format)) {
                out.push_back(match[1].str() + " " + match[2].str());
            } else {
                out.push_back("malformed: " + line);
            }
        }
        return out;
    }

    pellin::test::TemporaryHome home_;
    std::string standardError_;
};

const std::string kStart = "DEBUG Start logEveryLevel";
const std::string kError = "ERROR Error x code = 2";
const std::string kWarning = "WARN Warning -1";
const std::string kInfo = "INFO path isExist=YES";
const std::string kVerbose = "VERBOSE verbose 1";
const std::string kEnd = "DEBUG End logEveryLevel";

}  // namespace

TEST_F(LoggerSetup, BeforeSetupTheLevelIsSevenAndThereIsNoLevelMap) {
    EXPECT_EQ(runSetup("initial"), "7 no map");
}

// Each level lets through its own lines and those above it; without a setting the level is
// info, which writes no entry or exit lines.
TEST_F(LoggerSetup, EachLevelWritesItsLinesAndThoseAboveIt) {
    const struct {
        const char* setting;
        const char* mask;
        std::vector<std::string> lines;
    } cases[] = {
        {nullptr, "7", {kError, kWarning, kInfo}},
        {"<string>DEBUG</string>", "15", {kStart, kError, kWarning, kInfo, kEnd}},
        {"<string>VERBOSE</string>", "31", {kStart, kError, kWarning, kInfo, kVerbose, kEnd}},
        {"<string>ERROR</string>", "1", {kError}},
        {"<string>WARN</string>", "3", {kError, kWarning}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting != nullptr ? c.setting : "no setting");
        fs::remove_all(logs());
        if (c.setting != nullptr) {
            setLevel(c.setting);
        }
        EXPECT_EQ(runSetup(), c.mask);
        EXPECT_EQ(levelsAndTexts(loggedLines()), c.lines);
    }
}

// Anything that is not exactly one of the six names turns logging off altogether, errors
// included: not even a log file is created.
TEST_F(LoggerSetup, LevelOffOrAnUnknownLevelWritesNothingAtAll) {
    for (const std::string value :
         {"<string>OFF</string>", "<string>debug</string>", "<integer>8</integer>",
          "<string></string>", "<string>Debug</string>", "<true/>"}) {
        setLevel(value);
        EXPECT_EQ(runSetup(), "0") << value;
        EXPECT_FALSE(fs::exists(logs())) << value;
    }
}

TEST_F(LoggerSetup, TheConsoleSinkWritesTheSameLinesToStandardError) {
    EXPECT_EQ(runSetup("console"), "31");
    EXPECT_EQ(levelsAndTexts(linesOf(standardError_)),
              (std::vector<std::string>{kStart, kError, kWarning, kInfo, kVerbose, kEnd}));
    EXPECT_FALSE(fs::exists(logs()));
}

TEST_F(LoggerSetup, TheSystemLogSinkTakesEveryLevelWithoutFailing) {
    EXPECT_EQ(runSetup("syslog"), "31");
    EXPECT_EQ(standardError_, "");
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
    for (const std::string home : {"-u", "HOME=", "HOME=relative/home"}) {
        SCOPED_TRACE(home);
        fs::create_directories(work);
        fs::permissions(work, fs::perms::all);
        std::vector<std::string> arguments{"-C", work.string()};
        if (home == "-u") {
            arguments.insert(arguments.end(), {"-u", "HOME"});
        } else {
            arguments.push_back(home);
        }
        arguments.insert(arguments.end(),
                         {"/usr/bin/setpriv", "--reuid=4242", "--regid=4242", "--clear-groups",
                          builtProgram("PellinLogSetupChild").string(), "setup"});
        const auto outcome = runChild("/usr/bin/env", arguments);
        EXPECT_TRUE(outcome.exited && outcome.exitStatus == 0) << outcome.standardError;
        EXPECT_EQ(outcome.standardOutput, "7\n");
        EXPECT_EQ(outcome.standardError,
                  "PellinLogSetupChild: no log file is written: the home folder is unknown or "
                  "not an absolute path\n");
        EXPECT_TRUE(fs::is_empty(work));
        fs::remove_all(work);
    }
}
