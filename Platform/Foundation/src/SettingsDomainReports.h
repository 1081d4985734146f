#pragma once

// What this process has to tell about each settings domain (keyed by the domain file's path):
// the first change that failed since the last synchronize, and the entries of the file that
// could not be read. Each operation opens a fresh defaults object, so none of this can live in
// one; it lives here, once per process.

#include <optional>
#include <string>
#include <vector>

#include <PellinFoundation/FileManager.h>
#include <PellinFoundation/PropertyList.h>

namespace foundation::settings_detail {

// Keeps the first failure until it is taken; later ones add nothing.
void recordFailedChange(const std::string& path, const Error& cause);
// The first failure recorded since the last call, and forgets it.
std::optional<Error> takeFailedChange(const std::string& path);

// Entries a reader has just left out of a newly read version of the file.
void recordDroppedEntries(const std::string& path, const std::vector<DroppedEntry>& dropped);
// Those not handed out yet, and forgets them.
std::vector<DroppedEntry> takeDroppedEntries(const std::string& path);

}  // namespace foundation::settings_detail
