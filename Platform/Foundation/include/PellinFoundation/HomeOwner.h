#pragma once

// Root may run a Pellin program with a user's HOME (sudo -E keeps it). Whatever it creates
// below that home (log files, lock and state files, settings) must then belong to the home's
// owner: a root-owned file there would be one the user can no longer change or remove.

#include <sys/types.h>

#include <optional>

#include <PellinFoundation/Export.h>
#include <PellinFoundation/FileManager.h>

namespace foundation {

struct Owner {
    uid_t uid = 0;
    gid_t gid = 0;
};

// Whom files created now below the current home folder (homeDirectory()) should belong to:
// the home folder's owner and that user's primary group, when this process runs as root and
// the home belongs to somebody else; nothing when no change is needed (not root, root's own
// home, or a home that cannot be examined).
PELLIN_EXPORT std::optional<Owner> ownerOfCreatedFiles();

// Gives the open file or folder `fd` to ownerOfCreatedFiles(). True when nothing was needed or
// the change succeeded; on failure fills `error` (when given) with the cause.
PELLIN_EXPORT bool giveToHomeOwner(int fd, Error* error = nullptr);

}  // namespace foundation
