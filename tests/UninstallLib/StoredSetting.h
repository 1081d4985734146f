#pragma once

// One value in the settings domain, to see whether an uninstall removed the settings.

#include <UserDefaultConfigurationLib/UserDefaultConfigurationLib.h>

#include <gtest/gtest.h>

namespace pellin::test {

inline constexpr const char* kSettingKey = "PellinUninstallTestKey";

inline void storeSetting() {
    auto defaults = UserDefaultConfigurationLib::findPellinUserDefault();
    ASSERT_TRUE(defaults);
    defaults->setObject(foundation::Value("stored"), kSettingKey);
}

inline bool settingStored() {
    auto defaults = UserDefaultConfigurationLib::findPellinUserDefault();
    return defaults && !defaults->objectForKey(kSettingKey).isNone();
}

}  // namespace pellin::test
