#pragma once

// What the end-to-end tests share: the built program started as a user starts it, the fake
// product laid out by the trial script, the dialogs' answers and the program's log read back.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Golden.h"
#include "Subprocess.h"
#include "support/FakeApplication.h"

namespace pellin::test {

using ProgramSession = Subprocess;

// The program as the build tree has it (bin/PellinUninstaller), or the one PELLIN_TEST_UNINSTALLER
// names (scripts/check-packages.sh runs the flows against the program unpacked from its package,
// with PELLIN_TEST_LIBRARY_PATH naming its libraries).
std::filesystem::path uninstallerProgram();

// The environment of a user's fresh terminal session: HOME, PATH, a terminal type and an English
// locale, nothing of the test's display.
std::vector<std::string> userEnvironment(const std::string& home,
                                         const std::vector<std::string>& extra = {});

// Starts the uninstaller for `home` as a user would, from a terminal unless told otherwise.
SessionOptions uninstallerSession(const std::filesystem::path& home,
                                  const std::vector<std::string>& extraEnvironment = {},
                                  bool terminal = true, std::optional<RunAs> runAs = std::nullopt);

inline constexpr const char* kConfirmationMessage = "Do you want to uninstall Pellin?";
inline constexpr const char* kCompletionMessage = "Pellin has been uninstalled.";
// The end of every terminal dialog's prompt, after which it reads the answer.
inline constexpr const char* kPromptEnd = ": ";
// How long the first dialog may take: far beyond the display probe's two seconds, so that only a
// stall (which lasts forever) or a crash misses it.
inline constexpr std::chrono::seconds kFirstDialogLimit{10};

inline constexpr int kExitUninstalled = 0;  // or nothing was installed
inline constexpr int kExitDeclined = 1;     // or no dialog could ask

// Answers the terminal dialogs: `first` in the confirmation (doing `whileAsked` before), then
// Return in the result dialog when there is one; the program's wait status.
int answerDialogs(ProgramSession& session, const char* first = "1\n",
                  const std::function<void()>& whileAsked = {});

// The four items an uninstall removes, and the programs of two of them.
struct ProductPaths {
    explicit ProductPaths(const std::filesystem::path& home);
    std::filesystem::path launchAgent, residentFolder, residentProgram, updaterProgram, launcher,
        sharedDomain;
    // Which of launchAgent, residentFolder, launcher and sharedDomain are still there.
    std::vector<std::filesystem::path> remaining() const;
};

// The folder of the scripts users run: a copy any user can read, whatever folder the checkout is
// in.
std::filesystem::path scriptsDirectory();
// Runs scripts/install-trial-product.sh --no-start for `home`, as `runAs` when given.
bool installTrialProduct(const std::filesystem::path& home,
                         std::optional<RunAs> runAs = std::nullopt);

// Tests that run product applications and the uninstaller hold this lock for their whole length:
// two at once (ctest -j) must not see each other's applications from outside a pid namespace.
class ExclusiveRun {
  public:
    ExclusiveRun();
    ~ExclusiveRun();
    ExclusiveRun(const ExclusiveRun&) = delete;
    ExclusiveRun& operator=(const ExclusiveRun&) = delete;

  private:
    int fd_ = -1;
};

}  // namespace pellin::test
