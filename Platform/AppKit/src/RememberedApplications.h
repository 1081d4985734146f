#pragma once

// Identities of the applications seen running at launch, kept for the whole process: once the
// uninstall has removed a bundle, its still-running processes can no longer be recognised from
// their files, only from what was noted before.

#include <optional>

#include "BundleIdentity.h"
#include "ProcessTable.h"

namespace appkit::detail {

class RememberedApplications {
  public:
    RememberedApplications() = delete;

    static void remember(const ProcessStamp& stamp, const BundleIdentity& identity);
    // What was noted for exactly this process; a later process with the same pid has another
    // start time and is not confused with it.
    static std::optional<BundleIdentity> lookup(const ProcessStamp& stamp);
};

}  // namespace appkit::detail
