#pragma once

// Which application bundle a process runs from, judged from the files as they are now.

#include <sys/types.h>

#include <optional>
#include <string>

namespace appkit::detail {

struct BundleIdentity {
    std::string bundleIdentifier;
    std::string bundlePath;      // the "*.app" folder
    std::string executablePath;  // the binary, or the script that an interpreter runs
};

// The "CFBundleIdentifier" text of "<bundlePath>/Contents/Info.plist"; nothing when the file is
// missing, not a property list, or has no non-empty text under that key.
std::optional<std::string> bundleIdentifierOfBundle(const std::string& bundlePath);

// The innermost "*.app" folder around `path` whose Contents folder holds `path` and whose
// Info.plist names a bundle identifier.
std::optional<BundleIdentity> bundleContaining(const std::string& path);

// The bundle that process `pid` runs from: its executable's, or, for an interpreter running a
// script that lies in a bundle's Contents/MacOS folder, the script's.
std::optional<BundleIdentity> bundleOfProcess(pid_t pid);

}  // namespace appkit::detail
