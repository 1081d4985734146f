#pragma once

// Every change of a settings domain goes to its file before the call returns. Under an
// exclusive flock(2) on the Preferences folder itself (so that no lock file is ever left
// behind, not even after the domain is removed) the file is read again, only this change is
// applied, and the result goes to a temporary file in the same folder that is renamed over the
// old one. Writers in several processes thus never lose each other's keys, and a crash at any
// moment leaves either the old or the new file, never a damaged one. The temporary file has one
// fixed name per domain: only the lock holder writes it, and a crashed writer's leftover is
// simply replaced by the next writer instead of piling up.
//
// When root runs with a user's HOME, the folders and files made here go to the home's owner.
// Each failure carries its cause: the errno value, the step and the path.

#include <string>

#include <PellinFoundation/FileManager.h>
#include <PellinFoundation/Value.h>

#include "SettingsDomainChange.h"

namespace foundation::settings_detail {

struct DomainLocation {
    std::string folder;    // $HOME/Library/Preferences
    std::string fileName;  // NAME.plist
    std::string path;      // folder + "/" + fileName
};

// Applies `change` to the domain. A file that is not a property-list dictionary is set aside
// first as "NAME.plist.damaged-<UTC time>", readable by the user alone; only the newest such
// copy is kept, since each may hold secrets. A removal from a domain without a file creates
// nothing. False when the store cannot write, with the cause in `error`; then the file is as it
// was.
bool changeDomain(const DomainLocation& where, const DomainChange& change, Error& error);

// Deletes the domain's file, its set-aside copies and a crashed writer's temporary file. True
// when none is left; otherwise `error` tells why.
bool removeDomain(const DomainLocation& where, Error& error);

// Makes the domain's file and the folder's entry for it durable (fsync). False when the store
// cannot write there, with the cause in `error`. Creates nothing: without a folder there is
// nothing to make durable.
bool makeDomainDurable(const DomainLocation& where, Error& error);

}  // namespace foundation::settings_detail
