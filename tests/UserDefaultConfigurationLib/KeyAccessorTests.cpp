#include <functional>
#include <string>

#include "SharedDomain.h"

using foundation::Array;
using foundation::Data;
using foundation::Date;
using foundation::Dictionary;
using foundation::Value;
using pellin::test::storedInAnotherProcess;
using Lib = UserDefaultConfigurationLib;

namespace {

class KeyAccessors : public pellin::test::PellinDomainTest {};

struct BooleanAccessor {
    const char* key;
    std::function<bool()> get;
    std::function<void(bool)> set;
};

const BooleanAccessor kBooleans[] = {
    {"productInformation", Lib::getProductInformation, Lib::setProductInformation},
    {"eshopInformation", Lib::getEshopInformation, Lib::setEshopInformation},
    {"installedKickApp", Lib::getInstalledKickApp, Lib::setInstalledKickApp},
};

struct ObjectAccessor {
    const char* key;
    std::function<Value()> get;
    std::function<void(const Value&)> set;
};

const ObjectAccessor kObjects[] = {
    {"nextAutoUpdate", Lib::getNextAutoUpdate, Lib::setNextAutoUpdate},
    {"successAddTime", Lib::getSuccessAddTime, Lib::setSuccessAddTime},
    {"failureAddTime", Lib::getFailureAddTime, Lib::setFailureAddTime},
    {"checkUpdateTimeInerval", Lib::getCheckUpdateTimeInervalb, Lib::setCheckUpdateTimeInerval},
    {"messageDelayRandomValue", Lib::getMessageDelayRandomValue, Lib::setMessageDelayRandomValue},
};

struct ReadOnlyAccessor {
    const char* key;
    std::function<Value()> get;
};

const ReadOnlyAccessor kReadOnly[] = {
    {"checkAutoUpdateTimeInterval", Lib::getCheckAutoUpdateTimeInterval},
    {"checkDisplayNotificationInterval", Lib::getCheckDisplayNotificationInterval},
    {"checkMessageDownloadInterval", Lib::getCheckMessageDownloadInterval},
    {"checkRegularTimeInterval", Lib::getCheckRegularTimeInterval},
    {"checkMessageXMLDownloadUrl", Lib::getCheckMessageXMLDownloadUrl},
    {"checkDomain", Lib::getCheckDomain},
    {"checkAutoUpdateServerUrl", Lib::getCheckAutoUpdateServerUrl},
};

}  // namespace

TEST_F(KeyAccessors, AnEmptyDomainAnswersTheRegisteredDefaults) {
    EXPECT_TRUE(Lib::getProductInformation());
    EXPECT_FALSE(Lib::getEshopInformation());
    EXPECT_FALSE(Lib::getInstalledKickApp());
    // The empty text, not no value; the number 0 of the 32-bit kind, not a Boolean.
    EXPECT_EQ(Lib::getNextAutoUpdate(), Value(""));
    EXPECT_EQ(Lib::getSuccessAddTime(), Value(0));
    EXPECT_EQ(Lib::getFailureAddTime(), Value(0));
    EXPECT_EQ(Lib::getCheckUpdateTimeInervalb(), Value(0));
    EXPECT_TRUE(Lib::getMessageDelayRandomValue().isNone());
    for (const auto& accessor : kReadOnly) {
        EXPECT_TRUE(accessor.get().isNone()) << accessor.key;
    }
}

TEST_F(KeyAccessors, RegisteringADefaultWritesNothing) {
    for (const auto& accessor : kBooleans) {
        accessor.get();
    }
    for (const auto& accessor : kObjects) {
        accessor.get();
    }
    // The registered defaults answer in this process only: the domain holds none of them.
    for (const char* key : {"productInformation", "eshopInformation", "nextAutoUpdate",
                            "successAddTime", "checkUpdateTimeInerval"}) {
        EXPECT_EQ(storedInAnotherProcess(key), "(null)") << key;
    }
    EXPECT_EQ(pellin::test::readInAnotherProcess({"getProductInformation"}), "1\n");
}

TEST_F(KeyAccessors, AStoredValueWinsOverTheRegisteredDefault) {
    for (const auto& accessor : kBooleans) {
        accessor.set(false);
        EXPECT_FALSE(accessor.get()) << accessor.key;
        EXPECT_EQ(stored(accessor.key), Value(false)) << accessor.key;
        accessor.set(true);
        EXPECT_TRUE(accessor.get()) << accessor.key;
        EXPECT_EQ(stored(accessor.key), Value(true)) << accessor.key;
    }
    std::int64_t n = 10;
    for (const auto& accessor : kObjects) {
        accessor.set(Value(n));
        EXPECT_EQ(accessor.get(), Value(n)) << accessor.key;
        // Each setter writes the key its getter reads (note "checkUpdateTimeInerval").
        EXPECT_EQ(stored(accessor.key), Value(n)) << accessor.key;
        ++n;
    }
}

TEST_F(KeyAccessors, BooleanKeysReadNoNumbersAndTextsAsBooleans) {
    const std::pair<Value, bool> readings[] = {
        {Value("NO"), false},
        {Value("YES"), true},
        {Value("0"), false},
        {Value("1"), true},
        {Value(""), false},
        {Value(0), false},
        {Value(2), true},
        {Value(-1), true},
        {Value(0.0), false},
        {Value(0.5), true},
        {Value(false), false},
        // Kinds that say nothing about truth read as false, not as the default.
        {Value(Date{1.0e9}), false},
        {Value(Data{1}), false},
        {Value(Array{Value(1)}), false},
    };
    for (const auto& accessor : kBooleans) {
        for (const auto& [value, expected] : readings) {
            store(accessor.key, value);
            EXPECT_EQ(accessor.get(), expected) << accessor.key << " " << value.description();
            // Reading never rewrites the stored value.
            EXPECT_EQ(stored(accessor.key), value) << accessor.key;
        }
    }
}

TEST_F(KeyAccessors, ValuesComeBackOfTheKindTheyWereStoredIn) {
    const Value values[] = {
        Value(Date{1709629503.5}),
        Value("text"),
        Value(2.25),
        Value(true),
        Value(std::int64_t{1} << 40),
        Value(Data{0, 1, 2, 0xff}),
        Value(Array{Value(1), Value("two")}),
        Value(Dictionary{{"a", Value(1)}, {"b", Value(Array{})}}),
    };
    for (const auto& accessor : kObjects) {
        for (const auto& value : values) {
            accessor.set(value);
            EXPECT_EQ(accessor.get(), value) << accessor.key << " " << value.description();
        }
    }
    // A date set through the accessor is a date in the file, for every other program too.
    Lib::setNextAutoUpdate(Value(Date{1709629503.0}));
    EXPECT_EQ(storedInAnotherProcess("nextAutoUpdate"), "2024-03-05 09:05:03 +0000");
}

TEST_F(KeyAccessors, SettingNoValueRemovesTheKey) {
    for (const auto& accessor : kObjects) {
        accessor.set(Value(1));
        accessor.set(Value());
        EXPECT_EQ(storedInAnotherProcess(accessor.key), "(null)") << accessor.key;
    }
    EXPECT_EQ(Lib::getNextAutoUpdate(), Value(""));
    EXPECT_TRUE(Lib::getMessageDelayRandomValue().isNone());
}

TEST_F(KeyAccessors, AWriteIsSeenByAnotherProgramWithoutSynchronize) {
    Lib::setInstalledKickApp(true);
    Lib::setSuccessAddTime(Value(1234));
    Lib::setMessageDelayRandomValue(Value("delay"));
    EXPECT_EQ(storedInAnotherProcess("installedKickApp"), "1");
    EXPECT_EQ(storedInAnotherProcess("successAddTime"), "1234");
    EXPECT_EQ(storedInAnotherProcess("messageDelayRandomValue"), "delay");
    Lib::setProductInformation(false);
    EXPECT_EQ(pellin::test::readInAnotherProcess({"getProductInformation"}), "0\n");
}

TEST_F(KeyAccessors, CheckKeysAreReadFromTheSharedDomain) {
    std::int64_t n = 100;
    for (const auto& accessor : kReadOnly) {
        store(accessor.key, Value(n));
        EXPECT_EQ(accessor.get(), Value(n)) << accessor.key;
        ++n;
    }
    store("checkDomain", Value("example.com"));
    EXPECT_EQ(Lib::getCheckDomain(), Value("example.com"));
}

TEST_F(KeyAccessors, ADamagedDomainFileReadsAsEmptyAndIsNotLostByTheNextWrite) {
    const std::string damaged = "<?xml version=\"1.0\"?><plist><dict><key>successAddTime</key>";
    home.writeFile("Library/Preferences/com.brenvik.mac.Pellin.common.plist", damaged);
    EXPECT_TRUE(Lib::getProductInformation());
    EXPECT_EQ(Lib::getSuccessAddTime(), Value(0));
    EXPECT_TRUE(Lib::getCheckDomain().isNone());
    Lib::setFailureAddTime(Value(9));
    EXPECT_EQ(Lib::getFailureAddTime(), Value(9));
    EXPECT_EQ(storedInAnotherProcess("failureAddTime"), "9");
    // The damaged file is kept aside, not overwritten.
    bool keptAside = false;
    for (const auto& entry :
         std::filesystem::directory_iterator(home.path() / "Library/Preferences")) {
        keptAside = keptAside || pellin::test::readFile(entry.path()) == damaged;
    }
    EXPECT_TRUE(keptAside);
}
