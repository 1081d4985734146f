#pragma once

// The programs and libraries as `cmake --install` lays them out, in a temporary prefix of their
// own: what a user's machine has, rather than the build tree.

#include <filesystem>
#include <string>

namespace pellin::test {

class InstalledTree {
  public:
    // Installs the build tree (PELLIN_BUILD_DIR) into a fresh temporary prefix, which any user
    // may read; check installed() before use.
    InstalledTree();
    ~InstalledTree();
    InstalledTree(const InstalledTree&) = delete;
    InstalledTree& operator=(const InstalledTree&) = delete;

    bool installed() const { return installed_; }
    // What the installation printed, to explain a failure.
    const std::string& output() const { return output_; }

    const std::filesystem::path& prefix() const { return prefix_; }
    std::filesystem::path program() const { return prefix_ / "bin/PellinUninstaller"; }
    // The Qt presenter module, in the folder of the shared libraries.
    std::filesystem::path qtModule() const;

  private:
    std::filesystem::path prefix_;
    bool installed_ = false;
    std::string output_;
};

}  // namespace pellin::test
