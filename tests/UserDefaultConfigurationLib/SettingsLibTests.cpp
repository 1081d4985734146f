// Faults of the shared settings store: its accessors, log lines, credentials' stored form, and
// the files other programs leave behind.
#include <UserDefaultConfigurationLib/CryptUtil.h>
#include <UserDefaultConfigurationLib/UserDefaultConfigurationLib.h>
#include <UserDefaultConfigurationLib/UserNotificationModel.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <map>
#include <thread>

#include "CapturedLog.h"
#include "SettingsTesting.h"
#include "TestCases.h"

using namespace foundation;
using Lib = UserDefaultConfigurationLib;
namespace fs = std::filesystem;

namespace {

class SettingsLib : public pellin::test::SettingsDomainTest {
  public:
    SettingsLib() : SettingsDomainTest("com.brenvik.mac.Pellin.common") {}
    // The description of the file's value for `key`, "(null)" when it holds none.
    std::string storedOnDisk(const std::string& key) const {
        const auto file = onDisk();
        const Dictionary* values = file ? file->dictionary() : nullptr;
        return values && values->contains(key) ? values->at(key).description() : "(null)";
    }
    static void store(std::string_view key, const Value& value) {
        Lib::findPellinUserDefault()->setObject(value, key);
    }
    static Value stored(std::string_view key) {
        return Lib::findPellinUserDefault()->objectForKey(key);
    }
};

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

// Every step at debug level, in the order and words of the transcript.
TEST_F(SettingsLib, EachAccessorAnswersItsDefaultThenReadsWritesAndRemovesItsOwnKey) {
    pellin::test::CapturedLog log;
    Lib::synchronize();
    Lib::removePersistentDomain();
    Lib::removeUserInfo();
    for (const Accessor& accessor : kAccessors) {
        EXPECT_EQ(accessor.get(), accessor.byDefault) << accessor.key;
    }
    // The defaults are registered in this process only: the domain holds none of them.
    EXPECT_FALSE(fs::exists(domainFile()));
    int n = 10;
    for (const Accessor& accessor : kAccessors) {
        accessor.set ? accessor.set(sample(accessor, n)) : store(accessor.key, sample(accessor, n));
        ++n;
    }
    Lib::setUserNotification("m1", kMonday, Value(2));
    n = 10;
    for (const Accessor& accessor : kAccessors) {
        EXPECT_EQ(accessor.get(), sample(accessor, n)) << accessor.key;
        if (accessor.key != std::string("userId") && accessor.key != std::string("password")) {
            EXPECT_EQ(storedOnDisk(accessor.key), sample(accessor, n).description())
                << accessor.key;  // the credentials are enciphered: see below
        }
        ++n;
    }
    Lib::getUserNotification("m1");
    Lib::setUserNotification("B", std::nullopt, Value(1));
    Lib::setPassword("hunter2-secret");
    std::string lines;
    for (const auto& message : log.messages()) {
        EXPECT_EQ(message.flag, lumberjack::DDLogFlagDebug) << message.message;
        lines += message.fileName + " " + message.function + " | " + message.message + "\n";
    }
    pellin::test::expectGolden("settings-log-lines.txt", lines);
    EXPECT_EQ(lines.find("hunter2"), std::string::npos);
    // Reading never rewrites; a text reads as a Boolean; a date stays a date for other programs.
    Lib::setNextAutoUpdate(Value(Date{1709629503.0}));
    store("productInformation", Value("NO"));
    EXPECT_FALSE(Lib::getProductInformation());
    EXPECT_EQ(storedOnDisk("productInformation"), "NO");
    EXPECT_EQ(storedOnDisk("nextAutoUpdate"), "2024-03-05 09:05:03 +0000");
    Lib::setMessageDelayRandomValue(Value());
    EXPECT_EQ(storedOnDisk("messageDelayRandomValue"), "(null)");
    pellin::test::CapturedLog quiet(7);
    Lib::setUserId("bob");
    Lib::getProductInformation();
    EXPECT_EQ(quiet.texts(), std::vector<std::string>{});
    // The identifier and the password are kept in the cipher form the other programs share.
    EXPECT_EQ(storedOnDisk("userId"), *CryptUtil::AES128EncryptWithKey("bob"));
    EXPECT_EQ(storedOnDisk("password"), *CryptUtil::AES128EncryptWithKey("hunter2-secret"));
    // Removals take their keys and no other.
    Lib::removeUserInfo();
    for (const char* key : {"userId", "password", "certkey"}) {
        EXPECT_EQ(storedOnDisk(key), "(null)") << key;
    }
    EXPECT_EQ(stored("productInformation"), Value("NO"));
    EXPECT_NE(Lib::getUserNotification("m1"), nullptr);
    Lib::removeKey("successAddTime");
    Lib::removeKey("noSuchKey");
    EXPECT_EQ(storedOnDisk("successAddTime"), "(null)");
    EXPECT_EQ(stored("failureAddTime"), Value(15));
    Lib::removePersistentDomain();
    EXPECT_FALSE(fs::exists(domainFile()));
    for (const Accessor& accessor : kAccessors) {
        EXPECT_EQ(accessor.get(), accessor.byDefault) << accessor.key;
    }
    EXPECT_EQ(Lib::getUserNotification("m1"), nullptr);
    Lib::removePersistentDomain();
    EXPECT_TRUE(Lib::synchronize());
}

TEST_F(SettingsLib, NotificationRecordsAreWholeRecordsUnderTheirOwnKeys) {
    Lib::setUserNotification("A", kMonday, Value(3));
    Lib::setUserNotification("news.2024 #1", kTuesday, Value(2.5));
    EXPECT_EQ(storedOnDisk("userNotification.A"),
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

// The stored form is shared with the product's other programs: the vectors were made outside
// this code, with openssl (see tests/data/stored-credentials.tsv).
TEST(CryptUtil, TheStoredFormIsByteForByteWhatOtherProgramsWriteWithTheMd5OfThePhraseAsKey) {
    EXPECT_EQ(CryptUtil::MD5Hash(std::string_view("abc\0def", 7)), CryptUtil::MD5Hash("abc"));
    for (const auto& row : pellin::test::casesIn("stored-credentials.tsv")) {
        const std::string plain = pellin::test::unescaped(row.at(0));
        const std::string stored = pellin::test::unescaped(row.at(1));
        EXPECT_EQ(CryptUtil::AES128EncryptWithKey(plain), stored) << plain;
        EXPECT_EQ(CryptUtil::AES128DecryptWithKey(stored), plain) << plain;
    }
    EXPECT_EQ(CryptUtil::AES128crypteCommon(2, Data{1}), std::nullopt);  // no such operation
}

// The fuzz corpus's "bad-*" files: not Base64, cut blocks, another key, a padding byte of 0, plain
// bytes that are not UTF-8 (an overlong form, a surrogate, beyond U+10FFFF).
TEST(CryptUtil, EveryReadingFailureEndsAsNothing) {
    int bad = 0;
    for (const auto& entry : std::filesystem::directory_iterator(STORED_CREDENTIAL_CORPUS)) {
        if (entry.path().filename().string().starts_with("bad-")) {
            const std::string stored = pellin::test::readFile(entry.path());
            EXPECT_EQ(CryptUtil::AES128DecryptWithKey(stored), std::nullopt) << stored;
            ++bad;
        }
    }
    EXPECT_GT(bad, 10);
}

// Reading never changes the stored value, nor a failure to read it.
TEST_F(SettingsLib, CredentialsAndRecordsReadAsTheTableSaysAndKeepTheStoredValue) {
    const auto record = [] {
        const auto model = Lib::getUserNotification("B");
        return model ? model->description() : "no record";
    };
    const std::map<std::string, std::function<std::string()>> read = {
        {"userId", Lib::getUserId},
        {"password", Lib::getPassword},
        {"certkey", Lib::getCertkey},
        {"userNotification.B", record}};
    for (const auto& row : pellin::test::casesIn("settings-readings.tsv")) {
        const auto value =
            PropertyListSerialization::propertyListWithData(pellin::test::unescaped(row.at(1)));
        store(row.at(0), value.value_or(Value()));
        EXPECT_EQ(read.at(row[0])(), pellin::test::unescaped(row.at(2))) << row[1];
        EXPECT_EQ(stored(row[0]), value);
    }
}

// A repeated key keeps its last value, and each value the reader cannot take (or XML cannot
// carry) costs only itself, and a warning.
TEST_F(SettingsLib, AWriteKeepsAllItCanOfAFileAnotherProgramWrote) {
    for (const auto& row : pellin::test::casesIn("settings-foreign-files.tsv")) {
        writeDomainFile(pellin::test::readFile(PROPERTY_LIST_CORPUS "/" + row.at(0)));
        pellin::test::CapturedLog log(3);
        Lib::setFailureAddTime(Value(2));
        EXPECT_EQ(onDisk(), PropertyListSerialization::propertyListWithData(row.at(1))) << row[0];
        EXPECT_TRUE(pellin::test::readFile(domainFile()).starts_with("<?xml")) << row[0];
        EXPECT_EQ(files().size(), 1u) << "nothing set aside";
        EXPECT_EQ(log.texts().size(), std::stoul(row.at(2))) << row[0];
    }
    EXPECT_EQ(Lib::getCertkey(), "c");
}

// A value that cannot be stored removes its key. The next synchronize answers false, even after
// the one writer that synchronizes by itself, and logs the cause once.
TEST_F(SettingsLib, ASetterWhoseValueCannotBeStoredLeavesNoStaleValue) {
    Lib::setCertkey("old");
    Lib::setNextAutoUpdate(Value(Date{1.0e9}));
    pellin::test::CapturedLog log(3);
    Lib::setNextAutoUpdate(Value(Date{std::nan("")}));
    Lib::setCertkey("cr\x01");
    Lib::setUserNotification("m", Date{1.0e9}, Value(1));
    EXPECT_FALSE(Lib::synchronize());
    EXPECT_TRUE(Lib::synchronize());  // each failure is answered once
    EXPECT_EQ(Lib::getNextAutoUpdate(), Value(""));
    EXPECT_EQ(Lib::getCertkey(), "");
    EXPECT_EQ(storedOnDisk("certkey"), "(null)");
    ASSERT_EQ(log.texts().size(), 1u);
    EXPECT_NE(log.texts()[0].find("(22)"), std::string::npos) << log.texts()[0];  // EINVAL
    EXPECT_NE(log.texts()[0].find(domainFile().string()), std::string::npos);
}

}  // namespace
