#pragma once

// What a settings domain's file holds, read through a process-wide cache. A reader costs one
// stat(2) while the file is unchanged; the cache is keyed by the file's identity (device,
// inode, size, modification time in ns), which changes with every write of ours because a
// write always makes a new file (a new inode, renamed into place) whose modification time is
// later than its predecessor's. So another process's write is seen at once.

#include <sys/types.h>

#include <compare>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <PellinFoundation/Value.h>

namespace foundation::settings_detail {

// A domain file larger than this is damaged: read as empty and never read whole. The same
// limit holds for every domain, the logging domain read at start-up included.
constexpr std::size_t kLargestDomainFile = std::size_t{16} << 20;

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modificationTimeNs = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

struct DomainSnapshot {
    enum class Kind {
        Missing,     // no file: an empty domain
        Valid,       // a property list whose root is a dictionary (entries that could not be
                     // read are left out and reported once, see SettingsDomainReports.h)
        Foreign,     // something else (damaged, another format, not a regular file, larger
                     // than kLargestDomainFile): read as empty, kept aside before a write
                     // replaces it
        Unreadable,  // it exists but cannot be read (permissions, I/O): read as empty, and
                     // never replaced, since its content is unknown
    };
    Kind kind = Kind::Missing;
    FileIdentity identity;
    // Always a dictionary, empty unless Valid. Never changed while shared: only a writer that
    // holds the last reference to it changes it in place (see applyChange).
    std::shared_ptr<Value> root;
    std::shared_ptr<const std::string> bytes;  // the file's content when it was read
    // When this process wrote `bytes`: where each entry of `root` begins in them, in key order,
    // and where the last one ends (see xmlDomainFile). Null when they come from elsewhere.
    std::shared_ptr<const std::vector<std::size_t>> entryBounds;
    int error = 0;  // errno of an Unreadable file

    const Dictionary& values() const;
};

// The values of the domain file at `path` as it is now (a dictionary, empty when the file is
// missing, damaged or unreadable), parsed at most once per version of the file.
std::shared_ptr<const Value> currentValues(const std::string& path);

// Reads `name` in the folder `folderFd` afresh (a writer's view, under the folder's lock).
// When the bytes equal those of the cached snapshot of `path`, its parsed values (and what is
// known of its layout) are reused: nothing of an earlier version outlives a change of the file.
DomainSnapshot readSnapshotForUpdate(int folderFd, const std::string& name,
                                     const std::string& path);

// Records what a writer has just put at `path`, or that the file is gone.
void rememberSnapshot(const std::string& path, const DomainSnapshot& snapshot);
void forgetSnapshot(const std::string& path);

// The identity of the file open as `fd`.
FileIdentity identityOfOpenFile(int fd);

}  // namespace foundation::settings_detail
