#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "CapturedLog.h"
#include "SharedDomain.h"

using foundation::Date;
using foundation::Value;
using pellin::test::sharedDomainFile;
using pellin::test::storedInAnotherProcess;

namespace {

class SettingsDomain : public pellin::test::PellinDomainTest {};

// Every setter of the library, once.
void setEveryKeyThatHasASetter() {
    UserDefaultConfigurationLib::setProductInformation(false);
    UserDefaultConfigurationLib::setEshopInformation(true);
    UserDefaultConfigurationLib::setInstalledKickApp(true);
    UserDefaultConfigurationLib::setNextAutoUpdate(Value("2030-01-01"));
    UserDefaultConfigurationLib::setSuccessAddTime(Value(5));
    UserDefaultConfigurationLib::setFailureAddTime(Value(6));
    UserDefaultConfigurationLib::setCheckUpdateTimeInerval(Value(7));
    UserDefaultConfigurationLib::setMessageDelayRandomValue(Value(8));
    UserDefaultConfigurationLib::setUserId("user");
    UserDefaultConfigurationLib::setPassword("secret");
    UserDefaultConfigurationLib::setCertkey("cert");
    UserDefaultConfigurationLib::setUserNotification("m1", Date{1.0e9}, Value(2));
}

// One stored value for every kind of key the domain holds.
void fillEveryKey() {
    setEveryKeyThatHasASetter();
    const auto defaults = UserDefaultConfigurationLib::findPellinUserDefault();
    for (const char* key :
         {"checkAutoUpdateTimeInterval", "checkDisplayNotificationInterval",
          "checkMessageDownloadInterval", "checkRegularTimeInterval", "checkMessageXMLDownloadUrl",
          "checkDomain", "checkAutoUpdateServerUrl"}) {
        defaults->setObject(Value("x"), key);
    }
}

}  // namespace

TEST_F(SettingsDomain, OpeningGivesDistinctObjectsThatSeeTheSameValues) {
    const auto first = UserDefaultConfigurationLib::findPellinUserDefault();
    const auto second = UserDefaultConfigurationLib::findPellinUserDefault();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first.get(), second.get());
    first->setObject(Value(42), "successAddTime");
    EXPECT_EQ(second->objectForKey("successAddTime"), Value(42));
    EXPECT_EQ(first->path(), sharedDomainFile().string());
}

TEST_F(SettingsDomain, RemovingTheDomainMakesEveryGetterAnswerItsDefault) {
    fillEveryKey();
    ASSERT_FALSE(UserDefaultConfigurationLib::getProductInformation());
    UserDefaultConfigurationLib::removePersistentDomain();

    EXPECT_TRUE(UserDefaultConfigurationLib::getProductInformation());
    EXPECT_FALSE(UserDefaultConfigurationLib::getEshopInformation());
    EXPECT_FALSE(UserDefaultConfigurationLib::getInstalledKickApp());
    EXPECT_EQ(UserDefaultConfigurationLib::getNextAutoUpdate(), Value(""));
    EXPECT_EQ(UserDefaultConfigurationLib::getSuccessAddTime(), Value(0));
    EXPECT_EQ(UserDefaultConfigurationLib::getFailureAddTime(), Value(0));
    EXPECT_EQ(UserDefaultConfigurationLib::getCheckUpdateTimeInervalb(), Value(0));
    EXPECT_TRUE(UserDefaultConfigurationLib::getMessageDelayRandomValue().isNone());
    EXPECT_TRUE(UserDefaultConfigurationLib::getCheckAutoUpdateTimeInterval().isNone());
    EXPECT_TRUE(UserDefaultConfigurationLib::getCheckDisplayNotificationInterval().isNone());
    EXPECT_TRUE(UserDefaultConfigurationLib::getCheckMessageDownloadInterval().isNone());
    EXPECT_TRUE(UserDefaultConfigurationLib::getCheckRegularTimeInterval().isNone());
    EXPECT_TRUE(UserDefaultConfigurationLib::getCheckMessageXMLDownloadUrl().isNone());
    EXPECT_TRUE(UserDefaultConfigurationLib::getCheckDomain().isNone());
    EXPECT_TRUE(UserDefaultConfigurationLib::getCheckAutoUpdateServerUrl().isNone());
    EXPECT_EQ(UserDefaultConfigurationLib::getUserId(), "");
    EXPECT_EQ(UserDefaultConfigurationLib::getPassword(), "");
    EXPECT_EQ(UserDefaultConfigurationLib::getCertkey(), "");
    EXPECT_EQ(UserDefaultConfigurationLib::getUserNotification("m1"), nullptr);
}

TEST_F(SettingsDomain, ARemovalIsSeenByAnotherProgramWithoutSynchronize) {
    fillEveryKey();
    ASSERT_EQ(storedInAnotherProcess("installedKickApp"), "1");
    UserDefaultConfigurationLib::removePersistentDomain();
    for (const char* key : {"productInformation", "installedKickApp", "successAddTime", "userId",
                            "certkey", "userNotification.m1", "checkDomain"}) {
        EXPECT_EQ(storedInAnotherProcess(key), "(null)") << key;
    }
}

TEST_F(SettingsDomain, RemovingADomainThatDoesNotExistLeavesNothingBehind) {
    UserDefaultConfigurationLib::removePersistentDomain();
    EXPECT_FALSE(std::filesystem::exists(sharedDomainFile()));
    EXPECT_EQ(storedInAnotherProcess("productInformation"), "(null)");
    // And twice in a row.
    UserDefaultConfigurationLib::removePersistentDomain();
    EXPECT_FALSE(std::filesystem::exists(sharedDomainFile()));
}

TEST_F(SettingsDomain, RemovingAKeyRemovesThatKeyOnly) {
    store("successAddTime", Value(1));
    store("failureAddTime", Value(2));
    UserDefaultConfigurationLib::removeKey("successAddTime");
    EXPECT_EQ(storedInAnotherProcess("successAddTime"), "(null)");
    EXPECT_EQ(stored("failureAddTime"), Value(2));
    // A key that is not there is no error and changes nothing.
    UserDefaultConfigurationLib::removeKey("noSuchKey");
    UserDefaultConfigurationLib::removeKey("");
    EXPECT_EQ(stored("failureAddTime"), Value(2));
}

TEST_F(SettingsDomain, RemovingTheCredentialsLeavesEveryOtherKeyUntouched) {
    fillEveryKey();
    UserDefaultConfigurationLib::removeUserInfo();
    for (const char* key : {"userId", "password", "certkey"}) {
        EXPECT_EQ(storedInAnotherProcess(key), "(null)") << key;
    }
    EXPECT_EQ(UserDefaultConfigurationLib::getUserId(), "");
    EXPECT_EQ(UserDefaultConfigurationLib::getPassword(), "");
    EXPECT_EQ(UserDefaultConfigurationLib::getCertkey(), "");
    EXPECT_EQ(stored("productInformation"), Value(false));
    EXPECT_EQ(stored("messageDelayRandomValue"), Value(8));
    EXPECT_EQ(stored("checkDomain"), Value("x"));
    EXPECT_NE(UserDefaultConfigurationLib::getUserNotification("m1"), nullptr);
    // With none of the three stored, it changes nothing.
    UserDefaultConfigurationLib::removeUserInfo();
    EXPECT_EQ(stored("successAddTime"), Value(5));
}

TEST_F(SettingsDomain, SynchronizeReportsWhetherTheStoreCanWrite) {
    UserDefaultConfigurationLib::setSuccessAddTime(Value(3));
    EXPECT_TRUE(UserDefaultConfigurationLib::synchronize());
    EXPECT_EQ(storedInAnotherProcess("successAddTime"), "3");

    // A file where the preferences folder should be: nothing can be written, even as root.
    pellin::test::TemporaryHome blocked;
    blocked.writeFile("Library/Preferences", "not a folder");
    UserDefaultConfigurationLib::setSuccessAddTime(Value(4));
    EXPECT_FALSE(UserDefaultConfigurationLib::synchronize());
}

TEST_F(SettingsDomain, WithoutAUsableStoreEveryOperationDoesNothingButLog) {
    // A relative home cannot hold the domain; the store refuses to open it.
    const std::string relativeHome = "relative-home-" + std::to_string(getpid());
    setenv("HOME", relativeHome.c_str(), 1);
    ASSERT_EQ(UserDefaultConfigurationLib::findPellinUserDefault(), nullptr);
    pellin::test::CapturedLog log;

    EXPECT_FALSE(UserDefaultConfigurationLib::synchronize());
    UserDefaultConfigurationLib::removePersistentDomain();
    UserDefaultConfigurationLib::removeUserInfo();
    setEveryKeyThatHasASetter();
    // Even the Boolean whose default is true answers false: nothing could be registered.
    EXPECT_FALSE(UserDefaultConfigurationLib::getProductInformation());
    EXPECT_TRUE(UserDefaultConfigurationLib::getNextAutoUpdate().isNone());
    EXPECT_TRUE(UserDefaultConfigurationLib::getSuccessAddTime().isNone());
    EXPECT_TRUE(UserDefaultConfigurationLib::getCheckDomain().isNone());
    EXPECT_EQ(UserDefaultConfigurationLib::getUserId(), "");
    EXPECT_EQ(UserDefaultConfigurationLib::getPassword(), "");
    EXPECT_EQ(UserDefaultConfigurationLib::getCertkey(), "");
    EXPECT_EQ(UserDefaultConfigurationLib::getUserNotification("m1"), nullptr);

    EXPECT_FALSE(std::filesystem::exists(relativeHome));
    const auto texts = log.texts();
    for (const std::string expected :
         {"End synchronize", "End removePersistentDomain", "End removeKey:",
          "End setInstalledKickApp", "End getProductInformation: productInformation=0",
          "End getUserId: decryptStr-", "Start getUserNotification: messageId=m1"}) {
        EXPECT_NE(std::find(texts.begin(), texts.end(), expected), texts.end()) << expected;
    }
}
