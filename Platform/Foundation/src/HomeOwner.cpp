#include <PellinFoundation/HomeOwner.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace foundation {

namespace {

// The primary group of `uid` from the password database, else `fallback` (the home's group).
gid_t primaryGroupOf(uid_t uid, gid_t fallback) {
    const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
           buffer.size() < (std::size_t{1} << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    return found != nullptr ? found->pw_gid : fallback;
}

}  // namespace

std::optional<Owner> ownerOfCreatedFiles() {
    if (geteuid() != 0) {
        return std::nullopt;
    }
    const std::optional<std::string> home = absoluteHomeDirectory();
    struct stat info {};
    if (!home || stat(home->c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid == 0) {
        return std::nullopt;
    }
    return Owner{info.st_uid, primaryGroupOf(info.st_uid, info.st_gid)};
}

bool giveToHomeOwner(int fd, Error* error) {
    const std::optional<Owner> owner = ownerOfCreatedFiles();
    if (!owner || fchown(fd, owner->uid, owner->gid) == 0) {
        return true;
    }
    if (error != nullptr) {
        error->code = errno;
        error->localizedDescription =
            "Cannot give a file to the owner of the home folder: " + std::string(strerror(errno));
    }
    return false;
}

}  // namespace foundation
