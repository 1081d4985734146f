// The settings store's log lines, checked at debug level in a captured sink. Lines of the same
// shape are checked together: each accessor's lines follow from its name and key.
#include <UserDefaultConfigurationLib/UserDefaultConfigurationLib.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "CapturedLog.h"
#include "TemporaryHome.h"

using foundation::Date;
using foundation::Value;
using Lib = UserDefaultConfigurationLib;
using Lines = std::vector<std::string>;

namespace {

class LogLines : public ::testing::Test {
  protected:
    pellin::test::TemporaryHome home;
    pellin::test::CapturedLog log;

    // Runs `operation` alone and returns its lines as "function | text".
    Lines linesOf(const std::function<void()>& operation) {
        log.clear();
        operation();
        return log.functionsAndTexts();
    }
    // Every line so far is a debug line from the library's source file.
    void expectDebugLinesFrom(const std::string& fileName) {
        for (const auto& message : log.messages()) {
            EXPECT_EQ(message.flag, lumberjack::DDLogFlagDebug) << message.message;
            EXPECT_EQ(message.fileName, fileName) << message.message;
        }
    }
};

std::string fn(const std::string& operation) {
    return "+[UserDefaultConfigurationLib " + operation + "]";
}
std::string line(const std::string& operation, const std::string& text) {
    return fn(operation) + " | " + text;
}

struct Named {
    std::string suffix;  // the accessor's name after get/set
    std::string key;
};

}  // namespace

TEST_F(LogLines, DomainOperationsLogStartAndEndWithTheirOwnName) {
    for (const std::string operation : {"synchronize", "removePersistentDomain"}) {
        const Lines lines = linesOf([&] {
            operation == "synchronize" ? void(Lib::synchronize()) : Lib::removePersistentDomain();
        });
        EXPECT_EQ(lines, (Lines{line(operation, "Start " + operation),
                                line(operation, "End " + operation)}));
    }
    // The key is not logged.
    EXPECT_EQ(
        linesOf([] { Lib::removeKey("secretKey"); }),
        (Lines{line("removeKey:", "Start removeKey:"), line("removeKey:", "End removeKey:")}));
    // Three removals, no line of its own.
    Lines sixLines;
    for (int i = 0; i < 3; ++i) {
        sixLines.push_back(line("removeKey:", "Start removeKey:"));
        sixLines.push_back(line("removeKey:", "End removeKey:"));
    }
    EXPECT_EQ(linesOf(Lib::removeUserInfo), sixLines);
    EXPECT_EQ(linesOf([] { Lib::findPellinUserDefault(); }), Lines{});
    expectDebugLinesFrom("UserDefaultConfigurationLib.cpp");
}

TEST_F(LogLines, BooleanAccessorsLogTheirValueAsANumber) {
    const Named booleans[] = {{"ProductInformation", "productInformation"},
                              {"EshopInformation", "eshopInformation"},
                              {"InstalledKickApp", "installedKickApp"}};
    const std::function<bool()> getters[] = {Lib::getProductInformation, Lib::getEshopInformation,
                                             Lib::getInstalledKickApp};
    const std::function<void(bool)> setters[] = {
        Lib::setProductInformation, Lib::setEshopInformation, Lib::setInstalledKickApp};
    for (std::size_t i = 0; i < 3; ++i) {
        const std::string get = "get" + booleans[i].suffix;
        const std::string set = "set" + booleans[i].suffix + ":";
        // On an empty domain: the default, true only for productInformation.
        const std::string byDefault = i == 0 ? "1" : "0";
        EXPECT_EQ(linesOf([&] { getters[i](); }),
                  (Lines{line(get, "Start " + get),
                         line(get, "End " + get + ": " + booleans[i].key + "=" + byDefault)}));
        EXPECT_EQ(linesOf([&] { setters[i](true); }),
                  (Lines{line(set, "Start set" + booleans[i].suffix + ": value=1"),
                         line(set, "End set" + booleans[i].suffix)}));
        EXPECT_EQ(linesOf([&] { getters[i](); }).back(),
                  line(get, "End " + get + ": " + booleans[i].key + "=1"));
    }
    expectDebugLinesFrom("UserDefaultConfigurationLib.cpp");
}

TEST_F(LogLines, ObjectAccessorsWithADefaultLogTheValueDescription) {
    struct Row {
        Named named;
        std::string getter;  // differs from "get" + suffix for one key
        std::function<Value()> get;
        std::function<void(const Value&)> set;
        std::string byDefault;
    };
    const Row rows[] = {
        {{"NextAutoUpdate", "nextAutoUpdate"},
         "getNextAutoUpdate",
         Lib::getNextAutoUpdate,
         Lib::setNextAutoUpdate,
         ""},
        {{"SuccessAddTime", "successAddTime"},
         "getSuccessAddTime",
         Lib::getSuccessAddTime,
         Lib::setSuccessAddTime,
         "0"},
        {{"FailureAddTime", "failureAddTime"},
         "getFailureAddTime",
         Lib::getFailureAddTime,
         Lib::setFailureAddTime,
         "0"},
        {{"CheckUpdateTimeInerval", "checkUpdateTimeInerval"},
         "getCheckUpdateTimeInervalb",
         Lib::getCheckUpdateTimeInervalb,
         Lib::setCheckUpdateTimeInerval,
         "0"},
    };
    for (const Row& row : rows) {
        const std::string& get = row.getter;
        const std::string set = "set" + row.named.suffix + ":";
        EXPECT_EQ(linesOf([&] { row.get(); }),
                  (Lines{line(get, "Start " + get),
                         line(get, "End " + get + ": " + row.named.key + "=" + row.byDefault)}));
        EXPECT_EQ(
            linesOf([&] { row.set(Value(Date{1709629503.0})); }),
            (Lines{line(set, "Start set" + row.named.suffix + ": value=2024-03-05 09:05:03 +0000"),
                   line(set, "End set" + row.named.suffix)}));
    }
    expectDebugLinesFrom("UserDefaultConfigurationLib.cpp");
}

TEST_F(LogLines, AccessorsWithoutADefaultNameThemselvesInTheirLines) {
    const std::string get = "getMessageDelayRandomValue";
    const std::string set = "setMessageDelayRandomValue:";
    EXPECT_EQ(linesOf([] { Lib::getMessageDelayRandomValue(); }),
              (Lines{line(get, "Start " + get),
                     line(get, "End " + get + " : messageDelayRandomValue=(null)")}));
    EXPECT_EQ(linesOf([] { Lib::setMessageDelayRandomValue(Value(30)); }),
              (Lines{line(set, "Start " + set + " : value=30"), line(set, "End " + set)}));
    EXPECT_EQ(linesOf([] { Lib::getMessageDelayRandomValue(); }).back(),
              line(get, "End " + get + " : messageDelayRandomValue=30"));

    // The "check" getters do not log the value.
    const std::pair<std::string, std::function<Value()>> checks[] = {
        {"getCheckAutoUpdateTimeInterval", Lib::getCheckAutoUpdateTimeInterval},
        {"getCheckDisplayNotificationInterval", Lib::getCheckDisplayNotificationInterval},
        {"getCheckMessageDownloadInterval", Lib::getCheckMessageDownloadInterval},
        {"getCheckRegularTimeInterval", Lib::getCheckRegularTimeInterval},
        {"getCheckMessageXMLDownloadUrl", Lib::getCheckMessageXMLDownloadUrl},
        {"getCheckDomain", Lib::getCheckDomain},
        {"getCheckAutoUpdateServerUrl", Lib::getCheckAutoUpdateServerUrl},
    };
    for (const auto& [name, getter] : checks) {
        EXPECT_EQ(linesOf([&] { getter(); }),
                  (Lines{line(name, "Start " + name), line(name, "End " + name)}));
    }
    expectDebugLinesFrom("UserDefaultConfigurationLib.cpp");
}

TEST_F(LogLines, NotificationRecordsLogTheirArgumentsAndTheRecordRead) {
    const std::string set = "setUserNotification:dateValue:numberValue:";
    const std::string get = "getUserNotification:";
    EXPECT_EQ(linesOf([] { Lib::getUserNotification("A"); }),
              Lines{line(get, "Start getUserNotification: messageId=A")});
    EXPECT_EQ(linesOf([] { Lib::setUserNotification("A", Date{1709629503.0}, Value(3)); }),
              (Lines{line(set,
                          "Start setUserNotification: messageId=A, dateValue=2024-03-05 "
                          "09:05:03 +0000, numberValue=3"),
                     line(set, "End setUserNotification")}));
    EXPECT_EQ(linesOf([] { Lib::getUserNotification("A"); }),
              (Lines{line(get, "Start getUserNotification: messageId=A"),
                     line(get,
                          "End getUserNotification: lastView=2024-03-05 09:05:03 +0000, "
                          "count=3")}));
    expectDebugLinesFrom("UserDefaultConfigurationLib.cpp");

    // A refused write says why, at debug level, between its two lines.
    const Lines refused = linesOf([] { Lib::setUserNotification("B", std::nullopt, Value(1)); });
    ASSERT_EQ(refused.size(), 3u);
    EXPECT_EQ(refused[0],
              line(set, "Start setUserNotification: messageId=B, dateValue=(null), numberValue=1"));
    EXPECT_EQ(log.messages()[1].flag, lumberjack::DDLogFlagDebug);
    EXPECT_EQ(refused[2], line(set, "End setUserNotification"));
}

TEST_F(LogLines, CredentialAccessorsShowIdentifiersButNeverThePassword) {
    EXPECT_EQ(linesOf([] { Lib::setUserId("alice"); }).front(),
              line("setUserId:", "Start setUserId: value=alice"));
    EXPECT_EQ(log.functionsAndTexts().back(), line("setUserId:", "End setUserId"));
    EXPECT_EQ(linesOf([] { Lib::getUserId(); }).back(),
              line("getUserId", "End getUserId: decryptStr-alice"));
    EXPECT_EQ(log.functionsAndTexts().front(), line("getUserId", "Start getUserId"));
    // The cipher logs in between, under its own names and file.
    const auto messages = log.messages();
    ASSERT_EQ(messages.size(), 2u + 6u);
    EXPECT_EQ(messages[1].function, "+[CryptUtil AES128DecryptWithKey:]");
    EXPECT_EQ(messages[1].fileName, "CryptUtil.cpp");

    const Lines password = linesOf([] {
        Lib::setPassword("hunter2-secret");
        Lib::getPassword();
    });
    for (const std::string& text : password) {
        EXPECT_EQ(text.find("hunter2"), std::string::npos) << text;
    }
    EXPECT_EQ(password.front(), line("setPassword:", "Start setPassword"));
    EXPECT_EQ(password.back(), line("getPassword", "End getPassword"));
    EXPECT_NE(std::find(password.begin(), password.end(), line("setPassword:", "End setPassword")),
              password.end());
    EXPECT_NE(std::find(password.begin(), password.end(), line("getPassword", "Start getPassword")),
              password.end());

    EXPECT_EQ(linesOf([] { Lib::setCertkey("C-1"); }),
              (Lines{line("setCertkey:", "Start setCertkey: value=C-1"),
                     line("setCertkey:", "End setCertkey")}));
    EXPECT_EQ(linesOf([] { Lib::getCertkey(); }),
              (Lines{line("getCertkey", "Start getCertkey"),
                     line("getCertkey", "End getCertkey: certkey=C-1")}));
}

TEST(LogLinesOff, NothingIsLoggedBelowTheDebugLevel) {
    pellin::test::TemporaryHome home;
    pellin::test::CapturedLog log(7);
    Lib::setUserId("bob");
    Lib::getProductInformation();
    Lib::setUserNotification("A", Date{1.0}, Value(1));
    Lib::removeUserInfo();
    EXPECT_EQ(log.texts(), Lines{});
}
