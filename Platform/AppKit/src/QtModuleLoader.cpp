#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "QtModule.h"

namespace appkit::detail {

namespace {

// Any object of this library: its address leads to the file the loader mapped it from.
const char kLibraryAnchor = 0;

// The folder this library was loaded from, as the dynamic loader found it; empty when that is
// unknown or relative to the working folder, which anybody may choose.
std::string libraryFolder() {
    Dl_info info{};
    if (dladdr(&kLibraryAnchor, &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    const std::string file = info.dli_fname;
    if (!file.starts_with('/')) {
        return {};
    }
    return file.substr(0, file.rfind('/'));
}

// Whether `group` is the owner's own: of the owner's number and name, with no other members, as
// systems give each user and where a umask of 002 leaves files group-writable.
bool isPrivateGroupOf(gid_t group, uid_t owner) {
    if (static_cast<uid_t>(group) != owner) {
        return false;
    }
    std::vector<char> userBuffer(16384);
    std::vector<char> groupBuffer(16384);
    passwd user{};
    passwd* foundUser = nullptr;
    struct group entry {};
    struct group* foundGroup = nullptr;
    if (getpwuid_r(owner, &user, userBuffer.data(), userBuffer.size(), &foundUser) != 0 ||
        foundUser == nullptr ||
        getgrgid_r(group, &entry, groupBuffer.data(), groupBuffer.size(), &foundGroup) != 0 ||
        foundGroup == nullptr) {
        return false;
    }
    const bool noOtherMembers =
        entry.gr_mem == nullptr || entry.gr_mem[0] == nullptr ||
        (std::strcmp(entry.gr_mem[0], user.pw_name) == 0 && entry.gr_mem[1] == nullptr);
    return std::strcmp(entry.gr_name, user.pw_name) == 0 && noOtherMembers;
}

// Why a file or folder that the process is about to run code from cannot be trusted; nothing
// when only root or the user the process runs as can have put it there or can change it.
std::optional<std::string> untrusted(const struct stat& file) {
    if (file.st_uid != 0 && file.st_uid != geteuid()) {
        return "owned by another user (uid " + std::to_string(file.st_uid) + ")";
    }
    if ((file.st_mode & S_IWOTH) != 0 ||
        ((file.st_mode & S_IWGRP) != 0 && !isPrivateGroupOf(file.st_gid, file.st_uid))) {
        return std::string("writable by other users");
    }
    return std::nullopt;
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

struct Loaded {
    const QtModuleInterface* module = nullptr;
    std::string path;
    std::string refusal;
};

std::string errorText(int error) {
    return std::strerror(error);
}

// Why the file or folder at `fd` is not the trusted `kind` of file; nothing when it is.
std::optional<std::string> refusalOf(int fd, mode_t kind) {
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        return errorText(errno);
    }
    if ((status.st_mode & S_IFMT) != kind) {
        return std::string(kind == S_IFDIR ? "not a folder" : "not a regular file");
    }
    return untrusted(status);
}

// Opens the module through descriptors, checking its folder and then the file itself, and hands
// the dynamic loader the very file that was checked (by its /proc/self/fd name), so that nothing
// can be swapped in between. Neither may be a symbolic link.
Loaded load() {
    Loaded loaded;
    const std::string libraries = libraryFolder();
    if (libraries.empty()) {
        loaded.path = kQtModuleFileName;
        loaded.refusal = "the folder libPellinAppKit was loaded from is unknown";
        return loaded;
    }
    loaded.path = libraries + "/" + kQtModuleFolder;
    const Descriptor folder(open(loaded.path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (folder.get() < 0) {
        loaded.refusal = errorText(errno);
        return loaded;
    }
    if (const std::optional<std::string> why = refusalOf(folder.get(), S_IFDIR)) {
        loaded.refusal = *why;
        return loaded;
    }
    loaded.path += std::string("/") + kQtModuleFileName;
    const Descriptor file(openat(folder.get(), kQtModuleFileName,
                                 O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) {
        loaded.refusal =
            errno == ELOOP ? "a symbolic link, not the module itself" : errorText(errno);
        return loaded;
    }
    if (const std::optional<std::string> why = refusalOf(file.get(), S_IFREG)) {
        loaded.refusal = *why;
        return loaded;
    }
    const std::string checked = "/proc/self/fd/" + std::to_string(file.get());
    // Local: nothing of Qt's or the module's can stand in for a symbol another library uses.
    void* handle = dlopen(checked.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        loaded.refusal = why != nullptr ? why : "it could not be loaded";
        return loaded;
    }
    const auto entry = reinterpret_cast<QtModuleEntryPoint>(dlsym(handle, kQtModuleEntryPoint));
    const QtModuleInterface* module = entry != nullptr ? entry() : nullptr;
    if (module == nullptr || module->version != kQtModuleInterfaceVersion) {
        // Left loaded: unloading a library that has started Qt's global objects is not safe.
        loaded.refusal = "it belongs to another version of Pellin";
        return loaded;
    }
    loaded.module = module;
    return loaded;
}

}  // namespace

const QtModuleInterface* qtModule() {
    static const Loaded loaded = [] {
        Loaded result = load();
        if (result.module == nullptr) {
            std::fprintf(stderr,
                         "%s: a display is available, but dialogs cannot be shown in a window: "
                         "%s: %s\n",
                         program_invocation_short_name, result.path.c_str(),
                         result.refusal.c_str());
        }
        return result;
    }();
    return loaded.module;
}

}  // namespace appkit::detail
