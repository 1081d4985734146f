#pragma once

// The programs and libraries as `cmake --install` lays them out, in a temporary prefix of their
// own: what a user's machine has, rather than the build tree.

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "Subprocess.h"
#include "TemporaryHome.h"

namespace pellin::test {

class InstalledTree {
  public:
    // Installs the build tree (PELLIN_BUILD_DIR) into a fresh temporary prefix, which any user
    // may read; check installed() before use.
    InstalledTree() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pellin-prefix-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            return;
        }
        prefix_ = pattern;
        // Readable by the users that tests and benchmarks make, as /usr is.
        chmod(prefix_.c_str(), 0755);
        const ProgramRun install =
            runQuietly({PELLIN_CMAKE_COMMAND, "--install", buildDirectory().string(), "--prefix",
                        prefix_.string()});
        output_ = install.output;
        installed_ = install.exitedWith(0) && std::filesystem::exists(program());
    }
    ~InstalledTree() {
        std::error_code ignored;
        if (!prefix_.empty()) {
            std::filesystem::remove_all(prefix_, ignored);
        }
    }
    InstalledTree(const InstalledTree&) = delete;
    InstalledTree& operator=(const InstalledTree&) = delete;

    bool installed() const { return installed_; }
    // What the installation printed, to explain a failure.
    const std::string& output() const { return output_; }

    const std::filesystem::path& prefix() const { return prefix_; }
    std::filesystem::path program() const { return prefix_ / "bin/PellinUninstaller"; }
    // The Qt presenter module, in the folder of the shared libraries.
    std::filesystem::path qtModule() const {
        return prefix_ / PELLIN_INSTALL_LIBDIR / "pellin/libPellinAppKitQt.so";
    }

  private:
    std::filesystem::path prefix_;
    bool installed_ = false;
    std::string output_;
};

}  // namespace pellin::test
