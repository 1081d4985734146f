#pragma once

// What the tests of the shared settings store have in common: a temporary home for each test,
// and the stored values as this process and as another process (SettingsProbe) see them.

#include <UserDefaultConfigurationLib/UserDefaultConfigurationLib.h>

#include <gtest/gtest.h>

#include "SettingsProbe.h"
#include "TemporaryHome.h"

namespace pellin::test {

inline constexpr const char* kSharedDomain = "com.brenvik.mac.Pellin.common";

// The description another process finds for `key`, "(null)" when the domain has no value.
inline std::string storedInAnotherProcess(const std::string& key) {
    return probe({"get", kSharedDomain, key});
}

class PellinDomainTest : public ::testing::Test {
  public:
    TemporaryHome home;

    std::filesystem::path domainFile() const {
        return home.path() / "Library/Preferences" / (std::string(kSharedDomain) + ".plist");
    }
    static void store(std::string_view key, const foundation::Value& value) {
        UserDefaultConfigurationLib::findPellinUserDefault()->setObject(value, key);
    }
    static foundation::Value stored(std::string_view key) {
        return UserDefaultConfigurationLib::findPellinUserDefault()->objectForKey(key);
    }
};

}  // namespace pellin::test
