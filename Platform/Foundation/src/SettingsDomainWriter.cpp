#include "SettingsDomainWriter.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include <PellinFoundation/PropertyList.h>

#include "SettingsDomainSnapshot.h"

namespace foundation::settings_detail {
namespace {

// Holds the folder open and exclusively locked for as long as it lives.
class FolderLock {
  public:
    explicit FolderLock(const std::string& folder)
        : fd_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                // Without the lock the one temporary file could be shared: no write at all.
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

  private:
    int fd_;
};

std::string temporaryName(const DomainLocation& where) {
    return "." + where.fileName + ".tmp";
}

bool makeFolder(const std::string& path) {
    return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// Library and Library/Preferences, private to the user as on the original platform. The home
// folder itself must already exist.
bool ensureFolder(const std::string& folder) {
    const std::size_t slash = folder.rfind('/');
    return slash != std::string::npos && slash > 0 && makeFolder(folder.substr(0, slash)) &&
           makeFolder(folder);
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::int64_t nowNs() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The kernel stamps files with a coarse clock (a few milliseconds), and inodes are reused, so
// two quick writes could leave files of equal identity and a reader's cache would miss the
// second. A strictly later, nanosecond-exact time for each new version rules that out.
bool stampNewVersion(int fd, const DomainSnapshot& previous) {
    std::int64_t stamp = nowNs();
    if (previous.kind != DomainSnapshot::Kind::Missing &&
        stamp <= previous.identity.modificationTimeNs) {
        stamp = previous.identity.modificationTimeNs + 1;
    }
    const timespec times[2] = {{0, UTIME_OMIT},
                               {static_cast<time_t>(stamp / 1000000000), stamp % 1000000000}};
    return futimens(fd, times) == 0;
}

// "NAME.plist.damaged-20240305T090503Z", with "-2", "-3", ... when that name is taken.
bool keepAside(int folderFd, const std::string& fileName) {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char stamp[32] = {};
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &parts);
    const std::string base = fileName + ".damaged-" + stamp;
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const std::string aside = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        if (renameat2(folderFd, fileName.c_str(), folderFd, aside.c_str(), RENAME_NOREPLACE) == 0) {
            return true;
        }
        if (errno == EINVAL || errno == ENOSYS) {
            // A file system without RENAME_NOREPLACE: the lock keeps our own writers out.
            struct stat taken {};
            if (fstatat(folderFd, aside.c_str(), &taken, AT_SYMLINK_NOFOLLOW) == 0) {
                continue;
            }
            return renameat(folderFd, fileName.c_str(), folderFd, aside.c_str()) == 0;
        }
        if (errno != EEXIST) {
            return false;
        }
    }
    return false;
}

// Writes `bytes` as the new version of the domain file; the old one stays until the rename.
bool replaceFile(const DomainLocation& where, int folderFd, const std::string& bytes,
                 const DomainSnapshot& previous, FileIdentity& written) {
    const std::string temporary = temporaryName(where);
    if (unlinkat(folderFd, temporary.c_str(), 0) != 0 && errno != ENOENT) {
        return false;
    }
    const int fd = openat(folderFd, temporary.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return false;
    }
    bool ok = writeAll(fd, bytes) && stampNewVersion(fd, previous);
    written = identityOfOpenFile(fd);
    ok = close(fd) == 0 && ok;
    if (ok && previous.kind == DomainSnapshot::Kind::Foreign) {
        ok = keepAside(folderFd, where.fileName);
    }
    if (ok) {
        ok = renameat(folderFd, temporary.c_str(), folderFd, where.fileName.c_str()) == 0;
    }
    if (!ok) {
        unlinkat(folderFd, temporary.c_str(), 0);
    }
    return ok;
}

}  // namespace

bool changeDomain(const DomainLocation& where, const std::function<bool(Dictionary&)>& change) {
    // A change that leaves a domain without a file empty (removing an absent key) creates no
    // folder and no file.
    if (access(where.path.c_str(), F_OK) != 0 && errno == ENOENT) {
        Dictionary nothing;
        if (!change(nothing)) {
            return true;
        }
    }
    if (!ensureFolder(where.folder)) {
        return false;
    }
    const FolderLock lock(where.folder);
    if (!lock.locked()) {
        return false;
    }
    const DomainSnapshot current = readSnapshotForUpdate(lock.fd(), where.fileName, where.path);
    if (current.kind == DomainSnapshot::Kind::Unreadable) {
        return false;  // replacing what we cannot read could lose it
    }
    Dictionary values = current.values();
    if (!change(values)) {
        return true;
    }
    auto root = std::make_shared<const Value>(std::move(values));
    std::optional<std::string> xml = PropertyListSerialization::xmlDataWithPropertyList(*root);
    if (!xml) {
        return false;
    }
    DomainSnapshot next;
    next.kind = DomainSnapshot::Kind::Valid;
    next.root = std::move(root);
    next.bytes = std::make_shared<const std::string>(std::move(*xml));
    if (!replaceFile(where, lock.fd(), *next.bytes, current, next.identity)) {
        return false;
    }
    rememberSnapshot(where.path, next);
    return true;
}

bool removeDomain(const DomainLocation& where) {
    const FolderLock lock(where.folder);
    if (!lock.locked()) {
        // No folder, no domain: nothing is left either way.
        struct stat info {};
        return stat(where.folder.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
    }
    const bool removed = unlinkat(lock.fd(), where.fileName.c_str(), 0) == 0 || errno == ENOENT;
    unlinkat(lock.fd(), temporaryName(where).c_str(), 0);
    forgetSnapshot(where.path);
    return removed;
}

bool makeDomainDurable(const DomainLocation& where) {
    if (!ensureFolder(where.folder)) {
        return false;
    }
    const FolderLock lock(where.folder);
    if (!lock.locked()) {
        return false;
    }
    bool ok = true;
    const int fd = openat(lock.fd(), where.fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ok = fsync(fd) == 0;
        close(fd);
    } else if (errno != ENOENT) {
        ok = false;
    }
    return fsync(lock.fd()) == 0 && ok;
}

}  // namespace foundation::settings_detail
