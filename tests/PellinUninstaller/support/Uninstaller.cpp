#include "support/Uninstaller.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

#include "TemporaryHome.h"

namespace pellin::test {

namespace fs = std::filesystem;

fs::path uninstallerProgram() {
    if (const char* other = std::getenv("PELLIN_TEST_UNINSTALLER"); other && *other != '\0') {
        return other;
    }
    return buildDirectory() / "bin/PellinUninstaller";
}

std::vector<std::string> userEnvironment(const std::string& home,
                                         const std::vector<std::string>& extra) {
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

SessionOptions uninstallerSession(const fs::path& home, const std::vector<std::string>& extra,
                                  bool terminal, std::optional<RunAs> runAs) {
    // Run from a folder of its own, so that nothing a fault leaves behind outlives the test.
    return {{uninstallerProgram().string()},
            userEnvironment(home.string(), extra),
            terminal,
            runAs,
            true,
            home.parent_path()};
}

int answerDialogs(ProgramSession& session, const char* first,
                  const std::function<void()>& whileAsked) {
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

ProductPaths::ProductPaths(const fs::path& home)
    : launchAgent(home / "Library/LaunchAgents/jp.brenvik.mac.Pellin.plist"),
      residentFolder(home / "Library/Pellin"),
      residentProgram(residentFolder / "Pellin.app/Contents/MacOS/Pellin"),
      updaterProgram(residentFolder / "BRENVIKUPDATE.app/Contents/MacOS/BRENVIKUPDATE"),
      launcher(home / "Applications/KickPellin.app"),
      sharedDomain(home / "Library/Preferences/com.brenvik.mac.Pellin.common.plist") {}

std::vector<fs::path> ProductPaths::remaining() const {
    std::vector<fs::path> found;
    for (const fs::path& item : {launchAgent, residentFolder, launcher, sharedDomain}) {
        std::error_code error;
        if (fs::exists(item, error)) {
            found.push_back(item);
        }
    }
    return found;
}

fs::path scriptsDirectory() {
    // Copied once per test program into a folder that every user may enter and read.
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

bool installTrialProduct(const fs::path& home, std::optional<RunAs> runAs) {
    return runQuietly({"/bin/bash", (scriptsDirectory() / "install-trial-product.sh").string(),
                       "--no-start", "--home", home.string()},
                      userEnvironment(home.string()), true, runAs)
        .exitedWith(0);
}

ExclusiveRun::ExclusiveRun() {
    fd_ = open((fs::temp_directory_path() / "pellin-uninstaller-end-to-end.lock").c_str(),
               O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
}

ExclusiveRun::~ExclusiveRun() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

}  // namespace pellin::test
