#pragma once

// Which bundle's application a process is. A process is an instance of a bundle only when it runs
// that bundle's executable: either the process's own program file is the executable, or the
// executable is a "#!" script and the process is the interpreter that the script's first line
// names, running the script. A program that merely opens the file (a pager, an editor, tail -f)
// is never an instance.

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>

#include "BundleIdentity.h"
#include "ProcessTable.h"

namespace appkit::detail {

// The bundles that one scan of the processes looks at: those remembered at launch, else those
// read from their files, each read at most once.
class BundleLookup {
  public:
    // The bundle for which `path` is the executable.
    std::optional<BundleIdentity> bundleWithExecutable(const std::string& path);

  private:
    std::optional<BundleIdentity> bundleAt(const std::string& bundlePath,
                                           const std::string& executableName);

    std::map<std::string, std::optional<BundleIdentity>, std::less<>> read_;
};

// Whether the process may be running a bundle's executable: its program file, or the script it
// was given, lies in a "*.app/Contents/MacOS" folder. Judged from the paths' text alone, without
// reading any bundle, so that most processes are passed over at the cost of their arguments.
bool mayRunBundleExecutable(pid_t pid, const ProcessExecutable& executable);

std::optional<BundleIdentity> applicationOfProcess(pid_t pid, const ProcessExecutable& executable,
                                                   BundleLookup& bundles);

}  // namespace appkit::detail
