#pragma once

// What the tests of the settings store share: where the shared domain lives in the temporary
// home, and a second program that reads it.

#include <filesystem>
#include <string>
#include <vector>

namespace pellin::test {

// ~/Library/Preferences/com.brenvik.mac.Pellin.common.plist of the current HOME.
std::filesystem::path sharedDomainFile();

// Runs SharedDomainReader with `arguments` in a process of its own and returns its standard
// output; "exit <status>" when it did not end normally.
std::string readInAnotherProcess(const std::vector<std::string>& arguments);

// The descriptions another process finds for `key`, "(null)" when the domain has no value.
std::string storedInAnotherProcess(const std::string& key);

}  // namespace pellin::test
