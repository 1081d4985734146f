#include "SettingsDomainWriter.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <utility>

#include <PellinFoundation/HomeOwner.h>
#include <PellinFoundation/PropertyList.h>
#include <PellinFoundation/WriteAll.h>

#include "SettingsDomainSnapshot.h"

namespace foundation::settings_detail {
namespace {

constexpr std::string_view kSetAsideInfix = ".damaged-";

// Answers false with `error` saying which step failed on which path, and why.
bool failed(Error& error, std::string_view step, const std::string& path, int code = errno) {
    error.code = code;
    error.localizedDescription = std::string(step) + " \"" + path + "\": " + std::strerror(code);
    return false;
}

// Holds the folder open and exclusively locked for as long as it lives.
class FolderLock {
  public:
    explicit FolderLock(const std::string& folder)
        : fd_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        error_ = fd_ < 0 ? errno : 0;
        while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                // Without the lock the one temporary file could be shared: no write at all.
                error_ = errno;
                close(fd_);
                fd_ = -1;
            }
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) {
            close(fd_);  // releases the lock
        }
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    bool locked() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    int error() const { return error_; }  // errno of a failed open or lock

  private:
    int fd_;
    int error_;
};

std::string temporaryName(const DomainLocation& where) {
    return "." + where.fileName + ".tmp";
}

bool isSetAsideCopy(std::string_view name, const DomainLocation& where) {
    return name.starts_with(where.fileName) &&
           name.substr(where.fileName.size()).starts_with(kSetAsideInfix);
}

// Creates `path` private to the user unless it exists; what root creates in a user's home goes
// to that user.
bool makeFolder(const std::string& path, Error& error) {
    if (mkdir(path.c_str(), 0700) != 0) {
        return errno == EEXIST || failed(error, "Cannot create the folder", path);
    }
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return failed(error, "Cannot open the new folder", path);
    }
    Error owner;
    const bool given = giveToHomeOwner(fd, &owner);
    close(fd);
    if (!given) {
        rmdir(path.c_str());
        return failed(error, "Cannot give to the home's owner the folder", path,
                      static_cast<int>(owner.code));
    }
    return true;
}

// Library and Library/Preferences, private to the user as on the original platform. The home
// folder itself must already exist.
bool ensureFolder(const std::string& folder, Error& error) {
    const std::size_t slash = folder.rfind('/');
    if (slash == std::string::npos || slash == 0) {
        return failed(error, "Cannot use the folder", folder, EINVAL);
    }
    return makeFolder(folder.substr(0, slash), error) && makeFolder(folder, error);
}

bool writeAll(int fd, std::string_view bytes) {
    const int failure = detail::writeAll(fd, bytes.data(), bytes.size());
    errno = failure;
    return failure == 0;
}

std::int64_t nowNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The kernel stamps files with a coarse clock (a few milliseconds), and inodes are reused, so
// two quick writes could leave files of equal identity and a reader's cache would miss the
// second. A strictly later, nanosecond-exact time for each new version rules that out.
bool stampNewVersion(int fd, DomainSnapshot::Kind previousKind,
                     const FileIdentity& previousIdentity) {
    std::int64_t stamp = nowNs();
    if (previousKind != DomainSnapshot::Kind::Missing &&
        stamp <= previousIdentity.modificationTimeNs) {
        stamp = previousIdentity.modificationTimeNs + 1;
    }
    const timespec times[2] = {{0, UTIME_OMIT},
                               {static_cast<time_t>(stamp / 1000000000), stamp % 1000000000}};
    return futimens(fd, times) == 0;
}

// Removes every set-aside copy of the domain but `kept`. False with errno set when one stays.
bool removeSetAsideCopies(int folderFd, const DomainLocation& where, std::string_view kept) {
    const int listFd = openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* const folder = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (folder == nullptr) {
        if (listFd >= 0) {
            close(listFd);
        }
        return false;
    }
    bool removed = true;
    int cause = 0;
    while (const dirent* entry = readdir(folder)) {
        const std::string_view name = entry->d_name;
        if (isSetAsideCopy(name, where) && name != kept &&
            unlinkat(folderFd, entry->d_name, 0) != 0 && errno != ENOENT) {
            removed = false;
            cause = errno;
        }
    }
    closedir(folder);
    errno = cause;
    return removed;
}

// A set-aside copy may hold the credentials in clear: the user alone may read it, and when
// root set it aside in a user's home, it belongs to that user. Only a regular file whose one
// name is this one is changed, so that no planted link can turn this on another file.
void makePrivate(int folderFd, const std::string& name) {
    const int fd =
        openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1) {
        fchmod(fd, 0600);
        giveToHomeOwner(fd);
    }
    close(fd);
}

// "NAME.plist.damaged-20240305T090503Z": the damaged file, kept for whoever wants to look at
// it, and the only copy kept.
bool setAside(int folderFd, const DomainLocation& where, Error& error) {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char stamp[32] = {};
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &parts);
    const std::string aside = where.fileName + std::string(kSetAsideInfix) + stamp;
    if (renameat(folderFd, where.fileName.c_str(), folderFd, aside.c_str()) != 0) {
        return failed(error, "Cannot set aside the damaged file", where.path);
    }
    makePrivate(folderFd, aside);
    if (!removeSetAsideCopies(folderFd, where, aside)) {
        return failed(error, "Cannot remove an older set-aside copy of", where.path);
    }
    return true;
}

// Writes `bytes` as the new version of the domain file; the old one stays until the rename.
bool replaceFile(const DomainLocation& where, int folderFd, const std::string& bytes,
                 DomainSnapshot::Kind previousKind, const FileIdentity& previousIdentity,
                 FileIdentity& written, Error& error) {
    const std::string temporary = temporaryName(where);
    const std::string temporaryPath = where.folder + "/" + temporary;
    const auto create = [&] {
        return openat(folderFd, temporary.c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    };
    int fd = create();
    if (fd < 0 && errno == EEXIST) {
        // A crashed writer's leftover (or anything planted there): replaced, never followed.
        if (unlinkat(folderFd, temporary.c_str(), 0) != 0 && errno != ENOENT) {
            return failed(error, "Cannot remove the old temporary file", temporaryPath);
        }
        fd = create();
    }
    if (fd < 0) {
        return failed(error, "Cannot create", temporaryPath);
    }
    Error owner;
    bool ok = giveToHomeOwner(fd, &owner) || failed(error, "Cannot give to the home's owner",
                                                    temporaryPath, static_cast<int>(owner.code));
    ok = ok && (writeAll(fd, bytes) || failed(error, "Cannot write", temporaryPath));
    ok = ok && (stampNewVersion(fd, previousKind, previousIdentity) ||
                failed(error, "Cannot stamp", temporaryPath));
    written = identityOfOpenFile(fd);
    if (close(fd) != 0 && ok) {
        ok = failed(error, "Cannot write", temporaryPath);
    }
    if (ok && previousKind == DomainSnapshot::Kind::Foreign) {
        ok = setAside(folderFd, where, error);
    }
    if (ok && renameat(folderFd, temporary.c_str(), folderFd, where.fileName.c_str()) != 0) {
        ok = failed(error, "Cannot rename the temporary file to", where.path);
    }
    if (!ok) {
        unlinkat(folderFd, temporary.c_str(), 0);
    }
    return ok;
}

}  // namespace

bool changeDomain(const DomainLocation& where, const DomainChange& change, Error& error) {
    std::optional<FolderLock> lock(std::in_place, where.folder);
    if (!lock->locked() && lock->error() == ENOENT) {
        // No folder yet: a removal has nothing to remove, and creates no folder.
        if (change.value == nullptr) {
            return true;
        }
        if (!ensureFolder(where.folder, error)) {
            return false;
        }
        lock.emplace(where.folder);
    }
    if (!lock->locked()) {
        return failed(error, "Cannot lock the folder", where.folder, lock->error());
    }
    DomainSnapshot current = readSnapshotForUpdate(lock->fd(), where.fileName, where.path);
    if (current.kind == DomainSnapshot::Kind::Unreadable) {
        // Replacing what we cannot read could lose it.
        return failed(error, "Cannot read", where.path, current.error);
    }
    if (!changesSomething(current.values(), change)) {
        return true;
    }
    // From here the cache no longer shares the current values, so that unless a reader still
    // holds them, the change is made in place. Until the new file is in place, readers of this
    // process read the old one.
    forgetSnapshot(where.path);
    const DomainSnapshot::Kind previousKind = current.kind;
    const FileIdentity previousIdentity = current.identity;
    std::optional<DomainSnapshot> next = applyChange(std::move(current), change);
    if (!next) {
        return failed(error, "Cannot write a value without a property-list form to", where.path,
                      EINVAL);
    }
    if (!replaceFile(where, lock->fd(), *next->bytes, previousKind, previousIdentity,
                     next->identity, error)) {
        return false;
    }
    rememberSnapshot(where.path, *next);
    return true;
}

bool removeDomain(const DomainLocation& where, Error& error) {
    const FolderLock lock(where.folder);
    if (!lock.locked()) {
        // No folder, no domain: nothing is left either way.
        return lock.error() == ENOENT || lock.error() == ENOTDIR ||
               failed(error, "Cannot lock the folder", where.folder, lock.error());
    }
    const bool removed = unlinkat(lock.fd(), where.fileName.c_str(), 0) == 0 || errno == ENOENT ||
                         failed(error, "Cannot remove", where.path);
    unlinkat(lock.fd(), temporaryName(where).c_str(), 0);
    forgetSnapshot(where.path);
    if (!removeSetAsideCopies(lock.fd(), where, {}) && removed) {
        return failed(error, "Cannot remove a set-aside copy of", where.path);
    }
    return removed;
}

bool makeDomainDurable(const DomainLocation& where, Error& error) {
    const FolderLock lock(where.folder);
    if (!lock.locked()) {
        return lock.error() == ENOENT ||
               failed(error, "Cannot lock the folder", where.folder, lock.error());
    }
    const int fd = openat(lock.fd(), where.fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        const bool synced = fsync(fd) == 0;
        const int cause = errno;
        close(fd);
        if (!synced) {
            return failed(error, "Cannot make durable", where.path, cause);
        }
    } else if (errno != ENOENT) {
        return failed(error, "Cannot open", where.path);
    }
    return fsync(lock.fd()) == 0 || failed(error, "Cannot make durable", where.folder);
}

}  // namespace foundation::settings_detail
