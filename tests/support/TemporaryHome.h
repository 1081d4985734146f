#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace pellin::test {

// A fresh home folder for one test: HOME points at it while the object lives, and the folder
// and everything in it are removed afterwards. No test ever touches the real home folder.
class TemporaryHome {
  public:
    // `name` may hold blanks and shell metacharacters; it becomes the last path component.
    explicit TemporaryHome(const std::string& name = "home");
    ~TemporaryHome();
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;

    const std::filesystem::path& path() const { return home_; }
    // The folder that holds the home folder, for sentinel files "above" it.
    const std::filesystem::path& parent() const { return root_; }

    // Writes `content` to `relative` below the home folder, creating parent folders.
    std::filesystem::path writeFile(const std::filesystem::path& relative,
                                    const std::string& content = "") const;

  private:
    std::filesystem::path root_;
    std::filesystem::path home_;
    std::optional<std::string> previousHome_;
};

// Reads a whole file; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);

// Folder of the build tree (from PELLIN_BUILD_DIR), for tests that run the built programs.
std::filesystem::path buildDirectory();

// Copies the built `program` and the build tree's libraries into `folder`, for a program run as
// another user, who may not be able to enter the checkout. Returns the copy; run it with
// LD_LIBRARY_PATH=<folder>.
std::filesystem::path copyWithLibraries(const std::string& program,
                                        const std::filesystem::path& folder);

}  // namespace pellin::test
