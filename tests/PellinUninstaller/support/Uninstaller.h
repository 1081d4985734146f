#pragma once

// What the end-to-end tests share: where the built program is, the dialogs' texts, and the
// log lines a run writes.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/FakeApplication.h"
#include "support/ProgramSession.h"

namespace pellin::test {

// The program as the build tree has it (bin/PellinUninstaller), or the one PELLIN_TEST_UNINSTALLER
// names (scripts/check-packages.sh runs the flows against the program unpacked from its package,
// with PELLIN_TEST_LIBRARY_PATH naming its libraries).
std::filesystem::path uninstallerProgram();

// Starts the uninstaller for `home` as a user would, from a terminal unless told otherwise.
SessionOptions uninstallerSession(const std::filesystem::path& home,
                                  const std::vector<std::string>& extraEnvironment = {},
                                  bool terminal = true, std::optional<RunAs> runAs = std::nullopt);

// Texts of the English string table, as the dialogs show them.
inline constexpr const char* kConfirmationMessage = "Do you want to uninstall Pellin?";
inline constexpr const char* kErrorMessage = "Pellin could not be uninstalled.";
inline constexpr const char* kCompletionMessage = "Pellin has been uninstalled.";
// The end of every terminal dialog's prompt, after which it reads the answer.
inline constexpr const char* kPromptEnd = ": ";

// The program's exit statuses.
inline constexpr int kExitUninstalled = 0;  // or nothing was installed
inline constexpr int kExitDeclined = 1;     // or no dialog could ask
inline constexpr int kExitRemovalFailed = 2;
inline constexpr int kExitUsage = 64;  // a command line it does not take

// The info lines of a confirmed run that found the product installed and two applications
// running, in order.
const std::vector<std::string>& successfulRunInfoLines();

// Start times count in clock ticks: waiting a little more than one keeps two launches in order.
void nextClockTick();

// Runs a program to its end without a terminal; its wait status and what it printed.
struct Finished {
    int status = -1;
    std::string output;
};
// Standard error is part of the output unless `showErrors` is false.
Finished runQuietly(std::vector<std::string> arguments,
                    std::vector<std::string> environment = {"PATH=/usr/bin:/bin:/usr/sbin:/sbin"},
                    bool showErrors = true);

}  // namespace pellin::test
