#include "TemporaryHome.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace pellin::test {

TemporaryHome::TemporaryHome(const std::string& name) {
    std::string pattern = (std::filesystem::temp_directory_path() / "pellin-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    root_ = pattern;
    home_ = root_ / name;
    std::filesystem::create_directories(home_);
    if (const char* previous = std::getenv("HOME")) {
        previousHome_ = previous;
    }
    setenv("HOME", home_.c_str(), 1);
}

TemporaryHome::~TemporaryHome() {
    if (previousHome_) {
        setenv("HOME", previousHome_->c_str(), 1);
    } else {
        unsetenv("HOME");
    }
    std::error_code ignored;
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(root_, ignored);
}

std::filesystem::path TemporaryHome::writeFile(const std::filesystem::path& relative,
                                               const std::string& content) const {
    const std::filesystem::path target = home_ / relative;
    std::filesystem::create_directories(target.parent_path());
    std::ofstream(target, std::ios::binary) << content;
    return target;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::filesystem::path buildDirectory() {
    const char* dir = std::getenv("PELLIN_BUILD_DIR");
    return dir ? std::filesystem::path(dir) : std::filesystem::current_path();
}

std::filesystem::path copyWithLibraries(const std::string& program,
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
