#include <PellinLog/LoggerFormatterClassName.h>

#include <gtest/gtest.h>

#include <climits>
#include <ctime>
#include <regex>

#include "ChildProcess.h"
#include "TemporaryHome.h"

using lumberjack::DDLogFlag;
using lumberjack::DDLogMessage;

namespace {

DDLogMessage messageWith(DDLogFlag flag) {
    DDLogMessage m;
    m.flag = flag;
    m.timestamp = std::chrono::system_clock::now();
    m.queueLabel = "main";
    m.file = "/work/src/UninstallLib/UninstallCommand.cpp";
    m.fileName = "UninstallCommand.cpp";
    m.line = 42;
    m.function = "+[UninstallCommand executeUninstallCommand]";
    m.message = "Start executeUninstallCommand";
    return m;
}

// Everything after the time stamp.
std::string afterTimestamp(const std::string& line) {
    return line.size() > 23 ? line.substr(23) : "";
}

class LineFormat : public ::testing::Test {
  protected:
    pellin::test::TemporaryHome home_;
    LoggerFormatterClassName formatter_;
};

}  // namespace

TEST_F(LineFormat, AMessageBecomesTimeLevelQueueFileLineFunctionAndText) {
    const std::string line = formatter_.formatLogMessage(messageWith(lumberjack::DDLogFlagDebug));
    EXPECT_TRUE(std::regex_match(line.substr(0, 23),
                                 std::regex(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}:\d{3})")))
        << line;
    EXPECT_EQ(afterTimestamp(line),
              " [DEBUG] [main] [UninstallCommand.cpp:42 +[UninstallCommand "
              "executeUninstallCommand]] Start executeUninstallCommand");
}

TEST_F(LineFormat, EachFlagHasItsLevelName) {
    const std::pair<unsigned, std::string> names[] = {
        {1, "ERROR"}, {2, "WARN"}, {4, "INFO"}, {8, "DEBUG"}, {16, "VERBOSE"},
    };
    for (const auto& [flag, name] : names) {
        const auto line = formatter_.formatLogMessage(messageWith(static_cast<DDLogFlag>(flag)));
        EXPECT_TRUE(afterTimestamp(line).starts_with(" [" + name + "] [main] ")) << line;
    }
}

TEST_F(LineFormat, AFlagThatIsNotExactlyOneLevelIsUnknown) {
    for (unsigned flag : {0u, 3u, 32u, 31u, 0xffffffffu}) {
        const auto line = formatter_.formatLogMessage(messageWith(static_cast<DDLogFlag>(flag)));
        EXPECT_TRUE(afterTimestamp(line).starts_with(" [UNKNOWN] [main] ")) << flag;
    }
}

TEST_F(LineFormat, OnlyTheLastPathComponentOfTheFileNameIsShown) {
    DDLogMessage m = messageWith(lumberjack::DDLogFlagInfo);
    m.fileName = "/deep/folder/PellinAlert.cpp";
    EXPECT_TRUE(afterTimestamp(formatter_.formatLogMessage(m))
                    .starts_with(" [INFO] [main] [PellinAlert.cpp:42 "));
    m.fileName = "";
    EXPECT_TRUE(afterTimestamp(formatter_.formatLogMessage(m)).starts_with(" [INFO] [main] [:42 "));
}

TEST_F(LineFormat, TheLineNumberIsAnUnsignedDecimal) {
    DDLogMessage m = messageWith(lumberjack::DDLogFlagInfo);
    m.line = ULONG_MAX;
    EXPECT_NE(formatter_.formatLogMessage(m).find(":18446744073709551615 +[UninstallCommand"),
              std::string::npos);
}

TEST_F(LineFormat, TheMessageTextIsTakenAsItIsNotAsAFormat) {
    DDLogMessage m = messageWith(lumberjack::DDLogFlagInfo);
    m.message = "100% of %@ and %d\ttab \xc3\xa9";
    m.queueLabel = "uninstall-7";
    EXPECT_EQ(afterTimestamp(formatter_.formatLogMessage(m)),
              " [INFO] [uninstall-7] [UninstallCommand.cpp:42 +[UninstallCommand "
              "executeUninstallCommand]] 100% of %@ and %d\ttab \xc3\xa9");
}

TEST_F(LineFormat, ItAddsNoLineTerminator) {
    const auto line = formatter_.formatLogMessage(messageWith(lumberjack::DDLogFlagInfo));
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(line.back(), 'd');
}

// Two messages of the same millisecond, and of consecutive ones.
TEST_F(LineFormat, MillisecondsAreCountedNotRoundedAndNeverShared) {
    DDLogMessage m = messageWith(lumberjack::DDLogFlagInfo);
    const auto base = std::chrono::system_clock::time_point(std::chrono::seconds(1709629503));
    m.timestamp = base + std::chrono::microseconds(42999);
    const auto first = formatter_.formatLogMessage(m).substr(0, 23);
    m.timestamp = base + std::chrono::microseconds(42000);
    const auto same = formatter_.formatLogMessage(m).substr(0, 23);
    m.timestamp = base + std::chrono::microseconds(43000);
    const auto next = formatter_.formatLogMessage(m).substr(0, 23);
    EXPECT_TRUE(first.ends_with(":042")) << first;
    EXPECT_EQ(same, first);
    EXPECT_TRUE(next.ends_with(":043")) << next;
}

namespace {

// The formatter in a process of its own, so that the time zone it works in is the one TZ
// names when the process starts, as for a user's program.
std::string lineInTimeZone(const char* zone, std::time_t utcSeconds, int milliseconds) {
    const char* previous = std::getenv("TZ");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("TZ", zone, 1);
    const auto outcome = pellin::test::runChild(
        pellin::test::builtProgram("PellinLogSetupChild"),
        {"format", std::to_string(static_cast<long long>(utcSeconds) * 1000 + milliseconds)});
    if (previous != nullptr) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    return outcome.standardOutput;
}

std::time_t utc(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return timegm(&t);
}

}  // namespace

// Local time as the C library sees it, for zone names and for POSIX TZ strings, which carry
// the offset and any daylight-saving rule in the text itself.
TEST_F(LineFormat, TheTimeStampIsInTheLocalTimeZone) {
    const struct {
        const char* zone;
        std::time_t utc;
        const char* local;
    } cases[] = {
        {"Asia/Kathmandu", utc(2024, 3, 5, 3, 20, 3), "2024/03/05 09:05:03:042"},
        {"America/New_York", utc(2024, 3, 5, 14, 5, 3), "2024/03/05 09:05:03:042"},
        {"UTC", utc(2024, 3, 5, 14, 5, 3), "2024/03/05 14:05:03:042"},
        {"IST-5:30", utc(2024, 3, 5, 3, 35, 3), "2024/03/05 09:05:03:042"},
        {"<-03>3", utc(2024, 3, 5, 12, 5, 3), "2024/03/05 09:05:03:042"},
        {"EST5EDT,M3.2.0,M11.1.0", utc(2024, 3, 5, 14, 5, 3), "2024/03/05 09:05:03:042"},
        {"EST5EDT,M3.2.0,M11.1.0", utc(2024, 7, 5, 13, 5, 3), "2024/07/05 09:05:03:042"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", utc(2024, 7, 5, 7, 5, 3), "2024/07/05 09:05:03:042"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", utc(2024, 12, 5, 8, 5, 3), "2024/12/05 09:05:03:042"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lineInTimeZone(c.zone, c.utc, 42),
                  std::string(c.local) + " [INFO] [main] [file.cpp:42 +[Class selector]] text\n")
            << c.zone;
    }
}

// The fixed locale keeps the Gregorian calendar and ASCII digits whatever the user's own.
TEST_F(LineFormat, TheUsersLocaleChangesNeitherCalendarNorDigits) {
    const char* previous = std::getenv("LANG");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("LANG", "th_TH.UTF-8@calendar=buddhist;numbers=thai", 1);
    setenv("LC_ALL", "ar_EG.UTF-8", 1);
    const auto line = lineInTimeZone("UTC", utc(2024, 3, 5, 14, 5, 3), 42);
    unsetenv("LC_ALL");
    if (previous != nullptr) {
        setenv("LANG", saved.c_str(), 1);
    } else {
        unsetenv("LANG");
    }
    EXPECT_TRUE(line.starts_with("2024/03/05 14:05:03:042 ")) << line;
}
