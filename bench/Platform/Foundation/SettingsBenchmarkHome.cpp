#include "SettingsBenchmarkHome.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace pellin::bench {
namespace {

struct Home {
    Home() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pellin-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path = pattern;
            setenv("HOME", path.c_str(), 1);
        }
    }
    ~Home() {
        std::error_code ignored;
        if (!path.empty()) {
            std::filesystem::remove_all(path, ignored);
        }
    }
    std::string path;
};

}  // namespace

const std::string& temporaryHome() {
    static const Home home;
    setenv("HOME", home.path.c_str(), 1);
    return home.path;
}

std::string benchmarkKey(int i) {
    return "key-" + std::to_string(i);
}

}  // namespace pellin::bench
