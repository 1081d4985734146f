#pragma once

// What the tests of the settings store share: where the shared domain lives in the temporary
// home, and a second program that reads it.

#include <UserDefaultConfigurationLib/UserDefaultConfigurationLib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "TemporaryHome.h"

namespace foundation {
// Failures show values as "%@" would.
inline void PrintTo(const Value& value, std::ostream* out) {
    *out << value.description();
}
}  // namespace foundation

namespace pellin::test {

// ~/Library/Preferences/com.brenvik.mac.Pellin.common.plist of the current HOME.
std::filesystem::path sharedDomainFile();

// Runs SharedDomainReader with `arguments` in a process of its own and returns its standard
// output; "exit <status>" when it did not end normally.
std::string readInAnotherProcess(const std::vector<std::string>& arguments);

// The descriptions another process finds for `key`, "(null)" when the domain has no value.
std::string storedInAnotherProcess(const std::string& key);

// A temporary home for each test. store/stored go through this process's registered defaults;
// storedInAnotherProcess sees only what the domain holds.
class PellinDomainTest : public ::testing::Test {
  protected:
    TemporaryHome home;

    static void store(std::string_view key, const foundation::Value& value) {
        UserDefaultConfigurationLib::findPellinUserDefault()->setObject(value, key);
    }
    static foundation::Value stored(std::string_view key) {
        return UserDefaultConfigurationLib::findPellinUserDefault()->objectForKey(key);
    }
    static std::string storedText(std::string_view key) {
        const foundation::Value value = stored(key);
        return value.text() ? *value.text() : "<" + value.description() + ">";
    }
};

}  // namespace pellin::test
