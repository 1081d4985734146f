#pragma once

// An ordinary user made for one test: a home folder under the temporary folder and
// password-less sudo, both gone again with the object. Making one needs root, useradd, userdel
// and sudo; check ready() before use.

#include <filesystem>
#include <optional>
#include <string>

#include "support/FakeApplication.h"

namespace pellin::test {

class TemporaryUser {
  public:
    // `tag` keeps the names of two users of one test apart.
    explicit TemporaryUser(const std::string& tag = "e2e");
    ~TemporaryUser();
    TemporaryUser(const TemporaryUser&) = delete;
    TemporaryUser& operator=(const TemporaryUser&) = delete;

    bool ready() const { return runAs_.has_value() && sudoers_.has_value(); }
    const std::string& name() const { return name_; }
    const RunAs& runAs() const { return *runAs_; }
    const std::filesystem::path& home() const { return home_; }
    // The folder that holds the home folder; root's, so the user cannot change it.
    const std::filesystem::path& besideHome() const { return root_; }

    // Whether this machine has what making a user needs, and this process is root.
    static bool possibleHere();

  private:
    std::string name_;
    std::filesystem::path root_;
    std::filesystem::path home_;
    bool created_ = false;
    std::optional<RunAs> runAs_;
    std::optional<std::filesystem::path> sudoers_;
};

}  // namespace pellin::test
