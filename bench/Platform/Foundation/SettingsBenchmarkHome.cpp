#include "SettingsBenchmarkHome.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace pellin::bench {
namespace {

constexpr long kTmpfsMagic = 0x01021994;

bool isTmpfs(const std::string& folder) {
    struct statfs info {};
    return statfs(folder.c_str(), &info) == 0 && info.f_type == kTmpfsMagic;
}

std::string freshFolderIn(const std::filesystem::path& parent) {
    std::string pattern = (parent / "pellin-bench-XXXXXX").string();
    return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

// A tmpfs of our own, seen by this process alone and gone with it.
std::string privateTmpfs() {
    std::string folder = freshFolderIn(std::filesystem::temp_directory_path());
    if (folder.empty() || unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", folder.c_str(), "tmpfs", 0, "mode=0700") != 0) {
        if (!folder.empty()) {
            rmdir(folder.c_str());
        }
        return {};
    }
    return folder;
}

struct Home {
    explicit Home(std::string folder) : path(std::move(folder)) {}
    ~Home() {
        std::error_code ignored;
        if (!path.empty()) {
            umount2(path.c_str(), MNT_DETACH);  // our own tmpfs; elsewhere a harmless EINVAL
            std::filesystem::remove_all(path, ignored);
        }
    }
    const std::string& use() const {
        if (!path.empty()) {
            setenv("HOME", path.c_str(), 1);
        }
        return path;
    }
    std::string path;
};

}  // namespace

const std::string& temporaryHome() {
    static const Home home(freshFolderIn(std::filesystem::temp_directory_path()));
    return home.use();
}

const std::string& tmpfsHome() {
    static const Home home(isTmpfs("/dev/shm") ? freshFolderIn("/dev/shm") : privateTmpfs());
    return home.use();
}

std::string benchmarkKey(int i) {
    return "key-" + std::to_string(i);
}

}  // namespace pellin::bench
