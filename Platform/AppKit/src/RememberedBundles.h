#pragma once

// The bundles known at launch, kept for the whole process: once the uninstall has removed a
// bundle, a process still running from it (or started from it meanwhile) can no longer be
// recognised from its files, only from what was noted before.

#include <optional>
#include <string>

#include "BundleIdentity.h"

namespace appkit::detail {

class RememberedBundles {
  public:
    RememberedBundles() = delete;

    // Keyed by the bundle's path; a later note for the same path replaces the earlier one.
    static void remember(const BundleIdentity& bundle);
    static std::optional<BundleIdentity> lookup(const std::string& bundlePath);
};

}  // namespace appkit::detail
