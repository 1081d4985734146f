#pragma once

// An ordinary user made for one test: a home folder in a folder of root's that every user may
// enter, and password-less sudo, both gone again with the object. Check ready() before use.

#include <filesystem>
#include <optional>
#include <string>

#include "Subprocess.h"

namespace pellin::test {

class TemporaryUser {
  public:
    // `tag` keeps the names of two users of one test apart.
    explicit TemporaryUser(const std::string& tag = "e2e");
    ~TemporaryUser();
    TemporaryUser(const TemporaryUser&) = delete;
    TemporaryUser& operator=(const TemporaryUser&) = delete;

    bool ready() const { return runAs_.has_value(); }
    const RunAs& runAs() const { return *runAs_; }
    const std::filesystem::path& home() const { return home_; }
    // The folder that holds the home folder; root's, so the user cannot change it.
    const std::filesystem::path& besideHome() const { return root_; }

    // Whether this process is root and the machine has useradd, userdel and sudo.
    static bool possibleHere();

  private:
    std::string name_;
    std::filesystem::path root_;
    std::filesystem::path home_;
    std::optional<RunAs> runAs_;
};

}  // namespace pellin::test
