#pragma once

// Runs SettingsDomainHelper, the second program that shares a settings domain with a test.

#include <sys/types.h>

#include <string>
#include <vector>

#include "ChildProcess.h"

namespace pellin::test {

// Starts the helper with `arguments`; its process id, or -1.
pid_t startSettingsHelper(const std::vector<std::string>& arguments);

// Runs it to the end and returns what it printed, without the final newline.
std::string runSettingsHelper(const std::vector<std::string>& arguments);

}  // namespace pellin::test
