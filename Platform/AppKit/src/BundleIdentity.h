#pragma once

// Application bundles as their files describe them: "<name>.app/Contents/Info.plist" names the
// bundle identifier and the executable, which lies in Contents/MacOS.

#include <optional>
#include <string>

namespace appkit::detail {

// The program a "#!" script is run by.
struct Interpreter {
    std::string path;      // as the "#!" line names it
    std::string argument;  // the line's one optional argument; empty when it has none
};

struct BundleIdentity {
    std::string bundleIdentifier;
    std::string bundlePath;      // the "*.app" folder
    std::string executablePath;  // Contents/MacOS/<executable>
    // When the executable is a script: what its "#!" line names.
    std::optional<Interpreter> interpreter;
};

// The bundle at `bundlePath` (a "*.app" folder): its Info.plist's "CFBundleIdentifier" (a
// non-empty text) and its executable, "CFBundleExecutable" or else the bundle's own name less
// ".app". Nothing when the Info.plist is missing, no regular file, larger than 1 MiB or no
// property list; every file is read with bounds, so that no bundle can stall or crash us.
std::optional<BundleIdentity> bundleAtPath(const std::string& bundlePath);

// The "*.app" folder for which `path` would be the executable: the folder three levels up when
// `path` is absolute and lies in its Contents/MacOS. Judged from the text alone.
std::optional<std::string> bundlePathForExecutable(const std::string& path);

}  // namespace appkit::detail
