#include "support/InstalledTree.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <system_error>

#include "Subprocess.h"
#include "TemporaryHome.h"

namespace pellin::test {

namespace fs = std::filesystem;

InstalledTree::InstalledTree() {
    std::string pattern = (fs::temp_directory_path() / "pellin-prefix-XXXXXX").string();
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
    installed_ = exitedWith(install.status, 0) && fs::exists(program());
}

InstalledTree::~InstalledTree() {
    std::error_code ignored;
    if (!prefix_.empty()) {
        fs::remove_all(prefix_, ignored);
    }
}

fs::path InstalledTree::qtModule() const {
    return prefix_ / PELLIN_INSTALL_LIBDIR / "pellin/libPellinAppKitQt.so";
}

}  // namespace pellin::test
