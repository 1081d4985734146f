#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>

#include "ScopedEnvironment.h"

namespace pellin::test {

// A fresh home folder for one test: HOME points at it while the object lives, and the folder
// and everything in it are removed afterwards. No test ever touches the real home folder.
class TemporaryHome {
  public:
    // `name` may hold blanks and shell metacharacters; it becomes the last path component.
    explicit TemporaryHome(const std::string& name = "home") {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pellin-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary folder");
        }
        root_ = pattern;
        home_ = root_ / name;
        std::filesystem::create_directories(home_);
        environment_.set("HOME", home_.string());
    }
    // HOME goes back to what it was after the folder has gone.
    ~TemporaryHome() {
        std::error_code ignored;
        std::filesystem::permissions(root_, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(root_, ignored);
    }
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;

    const std::filesystem::path& path() const { return home_; }
    // The folder that holds the home folder, for sentinel files "above" it.
    const std::filesystem::path& parent() const { return root_; }

    // Writes `content` to `relative` below the home folder, creating parent folders.
    std::filesystem::path writeFile(const std::filesystem::path& relative,
                                    const std::string& content = "") const {
        const std::filesystem::path target = home_ / relative;
        std::filesystem::create_directories(target.parent_path());
        std::ofstream(target, std::ios::binary) << content;
        return target;
    }

  private:
    std::filesystem::path root_;
    std::filesystem::path home_;
    ScopedEnvironment environment_;
};

// Reads a whole file; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// Folder of the build tree (from PELLIN_BUILD_DIR), for tests that run the built programs.
inline std::filesystem::path buildDirectory() {
    const char* dir = std::getenv("PELLIN_BUILD_DIR");
    return dir ? std::filesystem::path(dir) : std::filesystem::current_path();
}

// Copies the built `program` and the build tree's libraries into `folder`, for a program run as
// another user, who may not be able to enter the checkout. Returns the copy; run it with
// LD_LIBRARY_PATH=<folder>.
inline std::filesystem::path copyWithLibraries(const std::string& program,
                                               const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    fs::create_directories(folder);
    for (const fs::directory_entry& entry : fs::directory_iterator(buildDirectory() / "lib")) {
        if (entry.path().filename().string().find(".so") != std::string::npos) {
            fs::copy(entry.path(), folder / entry.path().filename(),
                     fs::copy_options::copy_symlinks | fs::copy_options::skip_existing);
        }
    }
    fs::copy_file(buildDirectory() / "bin" / program, folder / program,
                  fs::copy_options::skip_existing);
    return folder / program;
}

}  // namespace pellin::test
