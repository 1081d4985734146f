#include "SettingsDomainSnapshot.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>

#include <PellinFoundation/PropertyList.h>

#include <PellinFoundation/ProcessWide.h>
#include "ReadAll.h"
#include "SettingsDomainReports.h"

namespace foundation::settings_detail {
namespace {

FileIdentity identityOf(const struct stat& info) {
    return FileIdentity{
        info.st_dev, info.st_ino, info.st_size,
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

// Shared by every empty snapshot, and so never changed in place.
const std::shared_ptr<Value>& emptyRoot() {
    static const auto* const empty =
        new std::shared_ptr<Value>(std::make_shared<Value>(Dictionary{}));
    return *empty;
}

DomainSnapshot emptySnapshot(DomainSnapshot::Kind kind, int error = 0) {
    DomainSnapshot snapshot;
    snapshot.kind = kind;
    snapshot.root = emptyRoot();
    snapshot.error = error;
    return snapshot;
}

using Snapshots = std::map<std::string, DomainSnapshot, std::less<>>;

detail::ProcessWide<Snapshots>& cache() {
    static detail::ProcessWide<Snapshots> instance;
    return instance;
}

std::optional<DomainSnapshot> cached(const std::string& path) {
    return cache().locked([&](Snapshots& snapshots) -> std::optional<DomainSnapshot> {
        const auto found = snapshots.find(path);
        return found == snapshots.end() ? std::nullopt : std::optional(found->second);
    });
}

// Opens without following the reader into a FIFO's wait, and takes only regular files. A file
// larger than any domain of ours is damaged, never read whole: another program's runaway
// writer, or a disk error, must not exhaust this process's memory.
DomainSnapshot readSnapshot(int folderFd, const std::string& name, const std::string& path,
                            std::optional<DomainSnapshot> known) {
    const int fd = openat(folderFd, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        // A file where a folder of the path should be means there is no domain file either.
        return error == ENOENT || error == ENOTDIR
                   ? emptySnapshot(DomainSnapshot::Kind::Missing)
                   : emptySnapshot(DomainSnapshot::Kind::Unreadable, error);
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        const int error = errno;
        close(fd);
        return emptySnapshot(DomainSnapshot::Kind::Unreadable, error);
    }
    if (!S_ISREG(info.st_mode) || info.st_size > static_cast<off_t>(kLargestDomainFile)) {
        close(fd);
        DomainSnapshot snapshot = emptySnapshot(DomainSnapshot::Kind::Foreign);
        snapshot.identity = identityOf(info);
        return snapshot;
    }
    auto bytes = std::make_shared<std::string>();
    bytes->reserve(static_cast<std::size_t>(info.st_size));
    const bool complete = foundation::detail::readAll(fd, *bytes, kLargestDomainFile);
    const int error = errno;
    close(fd);
    if (!complete) {
        // Grown beyond the limit while it was read: as damaged as if it had been that large.
        DomainSnapshot snapshot = emptySnapshot(
            error == EFBIG ? DomainSnapshot::Kind::Foreign : DomainSnapshot::Kind::Unreadable,
            error == EFBIG ? 0 : error);
        snapshot.identity = identityOf(info);
        return snapshot;
    }
    if (known && known->bytes && *known->bytes == *bytes) {
        DomainSnapshot snapshot = std::move(*known);
        snapshot.identity = identityOf(info);
        return snapshot;
    }
    std::optional<DomainEntries> parsed = PropertyListSerialization::domainEntriesWithData(*bytes);
    DomainSnapshot snapshot =
        emptySnapshot(parsed ? DomainSnapshot::Kind::Valid : DomainSnapshot::Kind::Foreign);
    if (parsed) {
        snapshot.root = std::make_shared<Value>(std::move(parsed->values));
        recordDroppedEntries(path, parsed->dropped);
    }
    snapshot.identity = identityOf(info);
    snapshot.bytes = std::move(bytes);
    return snapshot;
}

}  // namespace

const Dictionary& DomainSnapshot::values() const {
    static const Dictionary* const kEmpty = new Dictionary;
    const Dictionary* dictionary = root ? root->dictionary() : nullptr;
    return dictionary != nullptr ? *dictionary : *kEmpty;
}

FileIdentity identityOfOpenFile(int fd) {
    struct stat info {};
    return fstat(fd, &info) == 0 ? identityOf(info) : FileIdentity{};
}

std::shared_ptr<const Value> currentValues(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            forgetSnapshot(path);
        }
        return emptyRoot();
    }
    // Only the values are handed out: a reader copies one pointer, not the snapshot.
    std::shared_ptr<const Value> known = cache().locked([&](Snapshots& snapshots) {
        const auto found = snapshots.find(path);
        return found != snapshots.end() && found->second.identity == identityOf(info)
                   ? std::shared_ptr<const Value>(found->second.root)
                   : nullptr;
    });
    if (known) {
        return known;
    }
    DomainSnapshot fresh = readSnapshot(AT_FDCWD, path, path, std::nullopt);
    if (fresh.kind == DomainSnapshot::Kind::Valid || fresh.kind == DomainSnapshot::Kind::Foreign) {
        rememberSnapshot(path, fresh);
    }
    return fresh.root;
}

DomainSnapshot readSnapshotForUpdate(int folderFd, const std::string& name,
                                     const std::string& path) {
    return readSnapshot(folderFd, name, path, cached(path));
}

void rememberSnapshot(const std::string& path, const DomainSnapshot& snapshot) {
    cache().locked([&](Snapshots& snapshots) { snapshots.insert_or_assign(path, snapshot); });
}

void forgetSnapshot(const std::string& path) {
    cache().locked([&](Snapshots& snapshots) { snapshots.erase(path); });
}

}  // namespace foundation::settings_detail
