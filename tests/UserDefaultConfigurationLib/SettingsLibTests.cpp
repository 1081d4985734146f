// Faults of the shared settings store's accessors: each reads and writes its own key, answers its
// default, and writes the lines of the transcript in tests/data/settings-log-lines.txt.
#include <PellinFoundation/PropertyList.h>
#include <UserDefaultConfigurationLib/UserNotificationModel.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

#include "CapturedLog.h"
#include "SharedDomain.h"
#include "TestCases.h"

using namespace foundation;
using Lib = UserDefaultConfigurationLib;
using pellin::test::storedInAnotherProcess;

namespace {

class SettingsLib : public pellin::test::PellinDomainTest {};

const Date kMonday{1709629503.25};
const Date kTuesday{1709715903.5};

struct Accessor {
    const char* key;
    std::function<Value()> get;
    std::function<void(const Value&)> set;  // none for the keys only other programs write
    Value byDefault;
};

const Accessor kAccessors[] = {
    {"productInformation", [] { return Value(Lib::getProductInformation()); },
     [](const Value& v) { Lib::setProductInformation(v == Value(true)); }, Value(true)},
    {"eshopInformation", [] { return Value(Lib::getEshopInformation()); },
     [](const Value& v) { Lib::setEshopInformation(v == Value(true)); }, Value(false)},
    {"installedKickApp", [] { return Value(Lib::getInstalledKickApp()); },
     [](const Value& v) { Lib::setInstalledKickApp(v == Value(true)); }, Value(false)},
    {"nextAutoUpdate", Lib::getNextAutoUpdate, Lib::setNextAutoUpdate, Value("")},
    {"successAddTime", Lib::getSuccessAddTime, Lib::setSuccessAddTime, Value(0)},
    {"failureAddTime", Lib::getFailureAddTime, Lib::setFailureAddTime, Value(0)},
    {"checkUpdateTimeInerval", Lib::getCheckUpdateTimeInervalb, Lib::setCheckUpdateTimeInerval,
     Value(0)},
    {"messageDelayRandomValue", Lib::getMessageDelayRandomValue, Lib::setMessageDelayRandomValue,
     Value()},
    {"checkAutoUpdateTimeInterval", Lib::getCheckAutoUpdateTimeInterval, nullptr, Value()},
    {"checkDisplayNotificationInterval", Lib::getCheckDisplayNotificationInterval, nullptr,
     Value()},
    {"checkMessageDownloadInterval", Lib::getCheckMessageDownloadInterval, nullptr, Value()},
    {"checkRegularTimeInterval", Lib::getCheckRegularTimeInterval, nullptr, Value()},
    {"checkMessageXMLDownloadUrl", Lib::getCheckMessageXMLDownloadUrl, nullptr, Value()},
    {"checkDomain", Lib::getCheckDomain, nullptr, Value()},
    {"checkAutoUpdateServerUrl", Lib::getCheckAutoUpdateServerUrl, nullptr, Value()},
    {"userId", [] { return Value(Lib::getUserId()); },
     [](const Value& v) { Lib::setUserId(*v.text()); }, Value("")},
    {"password", [] { return Value(Lib::getPassword()); },
     [](const Value& v) { Lib::setPassword(*v.text()); }, Value("")},
    {"certkey", [] { return Value(Lib::getCertkey()); },
     [](const Value& v) { Lib::setCertkey(*v.text()); }, Value("")}};

// A value of the key's kind that differs from its default.
Value sample(const Accessor& accessor, int n) {
    return accessor.byDefault.boolean() ? Value(!*accessor.byDefault.boolean())
           : accessor.byDefault.text()  ? Value("text " + std::to_string(n))
                                        : Value(n);
}

void fillEveryKey() {
    int n = 10;
    for (const Accessor& accessor : kAccessors) {
        accessor.set ? accessor.set(sample(accessor, n))
                     : pellin::test::PellinDomainTest::store(accessor.key, sample(accessor, n));
        ++n;
    }
    Lib::setUserNotification("m1", kMonday, Value(2));
}

TEST_F(SettingsLib, EachAccessorAnswersItsDefaultThenReadsAndWritesItsOwnKey) {
    for (const Accessor& accessor : kAccessors) {
        EXPECT_EQ(accessor.get(), accessor.byDefault) << accessor.key;
    }
    // The defaults are registered in this process only: the domain holds none of them.
    EXPECT_FALSE(std::filesystem::exists(domainFile()));
    EXPECT_EQ(pellin::test::probe({"getProductInformation"}), "1");
    fillEveryKey();
    int n = 10;
    for (const Accessor& accessor : kAccessors) {
        EXPECT_EQ(accessor.get(), sample(accessor, n)) << accessor.key;
        if (accessor.key != std::string("userId") && accessor.key != std::string("password")) {
            EXPECT_EQ(storedInAnotherProcess(accessor.key), sample(accessor, n).description())
                << accessor.key;  // the credentials are enciphered: see CredentialTests
        }
        ++n;
    }
    // Reading never rewrites; a text reads as a Boolean; a date stays a date for other programs.
    Lib::setNextAutoUpdate(Value(Date{1709629503.0}));
    store("productInformation", Value("NO"));
    EXPECT_FALSE(Lib::getProductInformation());
    EXPECT_EQ(storedInAnotherProcess("productInformation"), "NO");
    EXPECT_EQ(storedInAnotherProcess("nextAutoUpdate"), "2024-03-05 09:05:03 +0000");
    Lib::setMessageDelayRandomValue(Value());
    EXPECT_EQ(storedInAnotherProcess("messageDelayRandomValue"), "(null)");
}

TEST_F(SettingsLib, RemovalsTakeTheirKeysAndNoOther) {
    fillEveryKey();
    Lib::removeUserInfo();
    for (const char* key : {"userId", "password", "certkey"}) {
        EXPECT_EQ(storedInAnotherProcess(key), "(null)") << key;
    }
    EXPECT_EQ(stored("productInformation"), Value(false));
    EXPECT_NE(Lib::getUserNotification("m1"), nullptr);
    Lib::removeKey("successAddTime");
    Lib::removeKey("noSuchKey");
    EXPECT_EQ(storedInAnotherProcess("successAddTime"), "(null)");
    EXPECT_EQ(stored("failureAddTime"), Value(15));
    Lib::removePersistentDomain();
    EXPECT_FALSE(std::filesystem::exists(domainFile()));
    for (const Accessor& accessor : kAccessors) {
        EXPECT_EQ(accessor.get(), accessor.byDefault) << accessor.key;
        EXPECT_EQ(storedInAnotherProcess(accessor.key), "(null)") << accessor.key;
    }
    EXPECT_EQ(Lib::getUserNotification("m1"), nullptr);
    Lib::removePersistentDomain();
    EXPECT_TRUE(Lib::synchronize());
}

TEST_F(SettingsLib, NotificationRecordsAreWholeRecordsUnderTheirOwnKeys) {
    EXPECT_EQ(Lib::getUserNotification("A"), nullptr);
    Lib::setUserNotification("A", kMonday, Value(3));
    Lib::setUserNotification("news.2024 #1", kTuesday, Value(2.5));
    EXPECT_EQ(storedInAnotherProcess("userNotification.A"),
              "{\n    count = 3;\n    lastView = \"2024-03-05 09:05:03 +0000\";\n}");
    EXPECT_EQ(Lib::getUserNotification("news.2024 #1")->count(), Value(2.5));
    EXPECT_EQ(Lib::getUserNotification("news.2024"), nullptr);
    // A write without a date or a number keeps the earlier record, and makes none.
    Lib::setUserNotification("A", std::nullopt, Value(2));
    Lib::setUserNotification("A", kTuesday, std::nullopt);
    Lib::setUserNotification("A", kTuesday, Value("not a number"));
    Lib::setUserNotification("new", std::nullopt, Value(2));
    EXPECT_EQ(Lib::getUserNotification("A")->lastView(), kMonday);
    EXPECT_TRUE(stored("userNotification.new").isNone());

    for (const auto& row : pellin::test::casesIn("notification-records.tsv")) {
        const Value value = *PropertyListSerialization::propertyListWithData(row.at(0));
        store("userNotification.B", value);
        const auto record = Lib::getUserNotification("B");
        EXPECT_EQ(record ? record->description() : "no record", row.at(1)) << row.at(0);
        EXPECT_EQ(stored("userNotification.B"), value);
    }
}

TEST_F(SettingsLib, WithoutAUsableStoreEveryOperationDoesNothingButLog) {
    setenv("HOME", ("relative-home-" + std::to_string(getpid())).c_str(), 1);
    ASSERT_EQ(Lib::findPellinUserDefault(), nullptr);
    pellin::test::CapturedLog log;
    EXPECT_FALSE(Lib::synchronize());
    Lib::removePersistentDomain();
    Lib::removeUserInfo();
    // Even the Boolean whose default is true answers false: nothing could be registered.
    for (const Accessor& accessor : kAccessors) {
        if (accessor.set) {
            accessor.set(sample(accessor, 1));
        }
        const Value got = accessor.get();
        EXPECT_TRUE(got.isNone() || got == Value(false) || got == Value("")) << accessor.key;
    }
    Lib::setUserNotification("m1", kMonday, Value(1));
    EXPECT_EQ(Lib::getUserNotification("m1"), nullptr);
    EXPECT_FALSE(std::filesystem::exists("relative-home-" + std::to_string(getpid())));
    EXPECT_GT(log.texts().size(), 40u);
}

// Every line at debug level, in the order and words of the transcript.
TEST_F(SettingsLib, TheLogLinesFollowTheTranscript) {
    pellin::test::CapturedLog log;
    const Date date{1709629503.0};
    Lib::synchronize();
    Lib::removePersistentDomain();
    Lib::removeKey("secretKey");
    Lib::removeUserInfo();
    for (const Accessor& accessor : kAccessors) {
        accessor.get();
        if (accessor.set) {
            accessor.set(accessor.byDefault.boolean() ? Value(true)
                         : accessor.byDefault.text()  ? Value("alice")
                                                      : Value(date));
            accessor.get();
        }
    }
    Lib::getUserNotification("A");
    Lib::setUserNotification("A", date, Value(3));
    Lib::getUserNotification("A");
    Lib::setUserNotification("B", std::nullopt, Value(1));
    Lib::setPassword("hunter2-secret");
    std::string lines;
    for (const auto& message : log.messages()) {
        EXPECT_EQ(message.flag, lumberjack::DDLogFlagDebug) << message.message;
        lines += message.fileName + " " + message.function + " | " + message.message + "\n";
    }
    EXPECT_EQ(lines, pellin::test::readFile(SETTINGS_LOG_LINES));
    EXPECT_EQ(lines.find("hunter2"), std::string::npos);

    pellin::test::CapturedLog quiet(7);
    Lib::setUserId("bob");
    Lib::getProductInformation();
    EXPECT_EQ(quiet.texts(), std::vector<std::string>{});
}

TEST(UserNotificationModel, ConcurrentReadersNeverSeeAHalfWrittenProperty) {
    UserNotificationModel record;
    const Value big(std::int64_t{1} << 50);
    std::atomic<bool> stop = false;
    std::atomic<int> torn = 0;
    std::thread reader([&] {
        while (!stop) {
            const auto count = record.count();
            const auto date = record.lastView();
            torn += (count && *count != Value(1) && *count != big) ||
                    (date && *date != kMonday && *date != kTuesday);
        }
    });
    for (int i = 0; i < 20000; ++i) {
        record.setCount(i % 2 ? Value(1) : big);
        record.setLastView(i % 2 ? kMonday : kTuesday);
        record.setCount(std::nullopt);
    }
    stop = true;
    reader.join();
    EXPECT_EQ(torn, 0);
}

}  // namespace
