#include "support/TemporaryUser.h"

#include <pwd.h>
#include <unistd.h>

#include <fstream>

#include "support/ProgramSession.h"
#include "support/Uninstaller.h"

namespace pellin::test {

namespace fs = std::filesystem;

namespace {

constexpr const char* kUserAdd = "/usr/sbin/useradd";
constexpr const char* kUserDel = "/usr/sbin/userdel";
constexpr const char* kSudo = "/usr/bin/sudo";
constexpr const char* kPkill = "/usr/bin/pkill";
constexpr const char* kSudoersFolder = "/etc/sudoers.d";

}  // namespace

TemporaryUser::TemporaryUser(const std::string& tag)
    : name_("pellin-" + tag + "-" + std::to_string(getpid())) {
    std::string pattern = (fs::temp_directory_path() / "pellin-user-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return;
    }
    root_ = pattern;
    fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    home_ = root_ / "home";
    if (!exitedWith(runQuietly({kUserAdd, "--no-create-home", "--user-group", "--shell", "/bin/sh",
                                "--home-dir", home_.string(), name_})
                        .status,
                    0)) {
        return;
    }
    created_ = true;
    const passwd* entry = getpwnam(name_.c_str());
    if (entry == nullptr) {
        return;
    }
    runAs_ = RunAs{entry->pw_uid, entry->pw_gid};
    fs::create_directories(home_);
    if (chown(home_.c_str(), entry->pw_uid, entry->pw_gid) != 0) {
        runAs_.reset();
        return;
    }
    sudoers_ = fs::path(kSudoersFolder) / name_;
    std::ofstream(*sudoers_) << name_ << " ALL=(ALL:ALL) NOPASSWD: ALL\n";
    fs::permissions(*sudoers_, fs::perms::owner_read | fs::perms::group_read);
}

TemporaryUser::~TemporaryUser() {
    std::error_code ignored;
    if (sudoers_) {
        fs::remove(*sudoers_, ignored);
    }
    if (created_) {
        // A force-quit script's last "sleep" may still run as the user, and userdel leaves a
        // user with processes in place.
        runQuietly({kPkill, "-KILL", "-u", name_});
        runQuietly({kUserDel, "--force", name_});
    }
    if (!root_.empty()) {
        fs::remove_all(root_, ignored);
    }
}

bool TemporaryUser::possibleHere() {
    return geteuid() == 0 && access(kUserAdd, X_OK) == 0 && access(kUserDel, X_OK) == 0 &&
           access(kSudo, X_OK) == 0 && access(kPkill, X_OK) == 0 &&
           fs::is_directory(kSudoersFolder);
}

}  // namespace pellin::test
