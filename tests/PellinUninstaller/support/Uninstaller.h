#pragma once

// What the end-to-end tests share: the built program started as a user starts it, the fake
// product laid out by the trial script, the dialogs' answers and the program's log read back.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Subprocess.h"
#include "TemporaryHome.h"
#include "support/FakeApplication.h"

namespace pellin::test {

using ProgramSession = Subprocess;

inline constexpr const char* kConfirmationMessage = "Do you want to uninstall Pellin?";
inline constexpr const char* kCompletionMessage = "Pellin has been uninstalled.";
// The end of every terminal dialog's prompt, after which it reads the answer.
inline constexpr const char* kPromptEnd = ": ";
// How long the first dialog may take: far beyond the display probe's two seconds, so that only a
// stall (which lasts forever) or a crash misses it.
inline constexpr std::chrono::seconds kFirstDialogLimit{10};

inline constexpr int kExitUninstalled = 0;  // or nothing was installed
inline constexpr int kExitDeclined = 1;     // or no dialog could ask

// The program as the build tree has it (bin/PellinUninstaller), or the one PELLIN_TEST_UNINSTALLER
// names (scripts/check-packages.sh runs the flows against the program unpacked from its package,
// with PELLIN_TEST_LIBRARY_PATH naming its libraries).
inline std::filesystem::path uninstallerProgram() {
    if (const char* other = std::getenv("PELLIN_TEST_UNINSTALLER"); other && *other != '\0') {
        return other;
    }
    return buildDirectory() / "bin/PellinUninstaller";
}

// The environment of a user's fresh terminal session: HOME, PATH, a terminal type and an English
// locale, nothing of the test's display.
inline std::vector<std::string> userEnvironment(const std::string& home,
                                                const std::vector<std::string>& extra = {}) {
    std::vector<std::string> environment = {"HOME=" + home,
                                            "PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin",
                                            "TERM=dumb", "LANG=en_US.UTF-8"};
    environment.insert(environment.end(), extra.begin(), extra.end());
    // A program unpacked from its package finds its libraries only where they were unpacked.
    if (const char* libraries = std::getenv("PELLIN_TEST_LIBRARY_PATH"); libraries) {
        environment.push_back(std::string("LD_LIBRARY_PATH=") + libraries);
    }
    return environment;
}

// Starts the uninstaller for `home` as a user would, from a terminal unless told otherwise, and
// from a folder of its own, so that nothing a fault leaves behind outlives the test.
inline SessionOptions uninstallerSession(const std::filesystem::path& home,
                                         const std::vector<std::string>& extraEnvironment = {},
                                         bool terminal = true,
                                         std::optional<RunAs> runAs = std::nullopt) {
    return {{uninstallerProgram().string()},
            userEnvironment(home.string(), extraEnvironment),
            terminal,
            runAs,
            true,
            home.parent_path()};
}

// Answers the terminal dialogs: `first` in the confirmation (doing `whileAsked` before), then
// Return in the result dialog when there is one; the program's wait status.
inline int answerDialogs(ProgramSession& session, const char* first = "1\n",
                         const std::function<void()>& whileAsked = {}) {
    if (!session.waitFor(kConfirmationMessage, kFirstDialogLimit) || !session.waitFor(kPromptEnd)) {
        ADD_FAILURE() << "no confirmation dialog:\n" << session.shown();
        return session.finish(std::chrono::seconds(0));
    }
    if (whileAsked) {
        whileAsked();
    }
    session.type(first);
    // A result dialog follows only a confirmation.
    if (std::string(first) == "1\n" && session.waitFor(kPromptEnd)) {
        session.type("\n");
    }
    return session.finish();
}

// The four items an uninstall removes, and the programs of two of them.
struct ProductPaths {
    explicit ProductPaths(const std::filesystem::path& home)
        : launchAgent(home / "Library/LaunchAgents/jp.brenvik.mac.Pellin.plist"),
          residentFolder(home / "Library/Pellin"),
          residentProgram(residentFolder / "Pellin.app/Contents/MacOS/Pellin"),
          updaterProgram(residentFolder / "BRENVIKUPDATE.app/Contents/MacOS/BRENVIKUPDATE"),
          launcher(home / "Applications/KickPellin.app"),
          sharedDomain(home / "Library/Preferences/com.brenvik.mac.Pellin.common.plist") {}
    std::filesystem::path launchAgent, residentFolder, residentProgram, updaterProgram, launcher,
        sharedDomain;

    // Which of launchAgent, residentFolder, launcher and sharedDomain are still there.
    std::vector<std::filesystem::path> remaining() const {
        std::vector<std::filesystem::path> found;
        for (const std::filesystem::path& item :
             {launchAgent, residentFolder, launcher, sharedDomain}) {
            std::error_code error;
            if (std::filesystem::exists(item, error)) {
                found.push_back(item);
            }
        }
        return found;
    }
};

// The folder of the scripts users run: a copy, once per test program, in a folder that every
// user may enter and read, whatever folder the checkout is in.
inline std::filesystem::path scriptsDirectory() {
    namespace fs = std::filesystem;
    struct Copy {
        fs::path folder;
        Copy() {
            // Unique: inside a private pid namespace, two test programs have the same pid.
            std::string pattern = (fs::temp_directory_path() / "pellin-scripts-XXXXXX").string();
            folder =
                mkdtemp(pattern.data()) != nullptr ? fs::path(pattern) / "scripts" : fs::path();
            fs::copy(fs::path(PELLIN_SOURCE_DIR) / "scripts", folder, fs::copy_options::recursive);
            fs::permissions(folder.parent_path(), fs::perms(0755));
        }
        ~Copy() {
            std::error_code ignored;
            fs::remove_all(folder.parent_path(), ignored);
        }
    };
    static const Copy copy;
    return copy.folder;
}

// Runs scripts/install-trial-product.sh --no-start for `home`, as `runAs` when given.
inline bool installTrialProduct(const std::filesystem::path& home,
                                std::optional<RunAs> runAs = std::nullopt) {
    return runQuietly({"/bin/bash", (scriptsDirectory() / "install-trial-product.sh").string(),
                       "--no-start", "--home", home.string()},
                      userEnvironment(home.string()), true, runAs)
        .exitedWith(0);
}

// Tests that run product applications and the uninstaller hold this lock for their whole length:
// two at once (ctest -j) must not see each other's applications from outside a pid namespace.
class ExclusiveRun {
  public:
    ExclusiveRun() {
        const auto lock =
            std::filesystem::temp_directory_path() / "pellin-uninstaller-end-to-end.lock";
        fd_ = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~ExclusiveRun() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    ExclusiveRun(const ExclusiveRun&) = delete;
    ExclusiveRun& operator=(const ExclusiveRun&) = delete;

  private:
    int fd_ = -1;
};

}  // namespace pellin::test
