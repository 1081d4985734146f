#include "support/TemporaryUser.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>

namespace pellin::test {

namespace fs = std::filesystem;

TemporaryUser::TemporaryUser(const std::string& tag) {
    std::string pattern = (fs::temp_directory_path() / "pellin-user-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return;
    }
    root_ = pattern;
    // Named after its folder, not the pid: inside a private pid namespace every test is pid 1,
    // and two checkouts testing at once must not share (and delete) one user.
    std::string suffix = pattern.substr(pattern.size() - 6);
    std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                   [](unsigned char c) { return std::isalnum(c) ? std::tolower(c) : '0'; });
    name_ = "pellin-" + tag + "-" + suffix;
    fs::permissions(root_, fs::perms(0755));
    home_ = root_ / "home";
    runQuietly({"/usr/sbin/useradd", "--no-create-home", "--user-group", "--shell", "/bin/sh",
                "--home-dir", home_.string(), name_});
    const passwd* entry = getpwnam(name_.c_str());
    fs::create_directories(home_);
    if (entry == nullptr || chown(home_.c_str(), entry->pw_uid, entry->pw_gid) != 0) {
        return;
    }
    std::ofstream(fs::path("/etc/sudoers.d") / name_) << name_ << " ALL=(ALL:ALL) NOPASSWD: ALL\n";
    fs::permissions(fs::path("/etc/sudoers.d") / name_, fs::perms(0440));
    runAs_ = RunAs{entry->pw_uid, entry->pw_gid};
}

TemporaryUser::~TemporaryUser() {
    if (name_.empty()) {
        return;  // no folder, so no user either
    }
    std::error_code ignored;
    fs::remove(fs::path("/etc/sudoers.d") / name_, ignored);
    // A force-quit script's last "sleep" may still run as the user, and userdel leaves a user
    // with processes in place.
    runQuietly({"/usr/bin/pkill", "-KILL", "-u", name_});
    runQuietly({"/usr/sbin/userdel", "--force", name_});
    if (!root_.empty()) {
        fs::remove_all(root_, ignored);
    }
}

bool TemporaryUser::possibleHere() {
    return geteuid() == 0 && access("/usr/sbin/useradd", X_OK) == 0 &&
           access("/usr/sbin/userdel", X_OK) == 0 && access("/usr/bin/sudo", X_OK) == 0 &&
           fs::is_directory("/etc/sudoers.d");
}

}  // namespace pellin::test
