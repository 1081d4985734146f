#pragma once

// An ordinary user made for one test: a home folder in a folder of root's that every user may
// enter, and password-less sudo, both gone again with the object. Check ready() before use.

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "Subprocess.h"

namespace pellin::test {

class TemporaryUser {
  public:
    // `tag` keeps the names of two users of one test apart.
    explicit TemporaryUser(const std::string& tag = "e2e") {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pellin-user-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            return;
        }
        root_ = pattern;
        // Named after its folder, not the pid: inside a private pid namespace every test is pid
        // 1, and two checkouts testing at once must not share (and delete) one user.
        std::string suffix = pattern.substr(pattern.size() - 6);
        std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                       [](unsigned char c) { return std::isalnum(c) ? std::tolower(c) : '0'; });
        name_ = "pellin-" + tag + "-" + suffix;
        std::filesystem::permissions(root_, std::filesystem::perms(0755));
        home_ = root_ / "home";
        runQuietly({"/usr/sbin/useradd", "--no-create-home", "--user-group", "--shell", "/bin/sh",
                    "--home-dir", home_.string(), name_});
        const passwd* entry = getpwnam(name_.c_str());
        std::filesystem::create_directories(home_);
        if (entry == nullptr || chown(home_.c_str(), entry->pw_uid, entry->pw_gid) != 0) {
            return;
        }
        std::ofstream(sudoers()) << name_ << " ALL=(ALL:ALL) NOPASSWD: ALL\n";
        std::filesystem::permissions(sudoers(), std::filesystem::perms(0440));
        runAs_ = RunAs{entry->pw_uid, entry->pw_gid};
    }
    ~TemporaryUser() {
        if (name_.empty()) {
            return;  // no folder, so no user either
        }
        std::error_code ignored;
        std::filesystem::remove(sudoers(), ignored);
        // A force-quit script's last "sleep" may still run as the user, and userdel leaves a
        // user with processes in place.
        runQuietly({"/usr/bin/pkill", "-KILL", "-u", name_});
        runQuietly({"/usr/sbin/userdel", "--force", name_});
        std::filesystem::remove_all(root_, ignored);
    }
    TemporaryUser(const TemporaryUser&) = delete;
    TemporaryUser& operator=(const TemporaryUser&) = delete;

    bool ready() const { return runAs_.has_value(); }
    const RunAs& runAs() const { return *runAs_; }
    const std::filesystem::path& home() const { return home_; }
    // The folder that holds the home folder; root's, so the user cannot change it.
    const std::filesystem::path& besideHome() const { return root_; }

    // Whether this process is root and the machine has useradd, userdel and sudo.
    static bool possibleHere() {
        return geteuid() == 0 && access("/usr/sbin/useradd", X_OK) == 0 &&
               access("/usr/sbin/userdel", X_OK) == 0 && access("/usr/bin/sudo", X_OK) == 0 &&
               std::filesystem::is_directory("/etc/sudoers.d");
    }

  private:
    std::filesystem::path sudoers() const {
        return std::filesystem::path("/etc/sudoers.d") / name_;
    }

    std::string name_;
    std::filesystem::path root_;
    std::filesystem::path home_;
    std::optional<RunAs> runAs_;
};

}  // namespace pellin::test
